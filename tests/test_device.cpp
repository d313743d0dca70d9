// The worked example of docs/wire-format.md: a device sent as a set request,
// byte for byte, and read back.
#include <gtest/gtest.h>

#include "logcapture.h"
#include "objecttest.h"

using namespace objecttest;

TEST(DeviceRoundTrip, WorkedExampleDatagram) {
    cObjectDevice d;
    d.setDeviceSerial(1001);
    d.setDeviceLabel("Pump");
    d.setDeviceOpState(cObject::OPSTATE_1);
    d.setDeviceStatus(cObject::STATUS_2);
    d.setDeviceType(cObjectDevice::DEVICE_TYPE_3);
    d.setDiscreteInCount(8);
    cObjectList list;
    list.setMsgType(0);
    list.setMsgSeq(1);
    list.add(&d);
    std::unique_ptr<VMsg> msg(list.toMsg());
    const char* hex =
        "0034 | 02 00 01 0000 0001 0007 | 05 00 0000 | 08 02 0004 000003E9 | 09 01 0004 50756D70 | "
        "06 04 0001 00 | 07 04 0001 01 | 0A 04 0001 02 | 0B 02 0004 00000008";
    EXPECT_EQ(wiretest::encode(*msg), wiretest::canon(hex));
    ListPtr objs(cObject::parseMsg(std::unique_ptr<VMsg>(wiretest::parseHex(hex)).get()));
    ASSERT_EQ(objs->numObjects(), 1);
    EXPECT_EQ(jsonOf(*objs->first()), jsonOf(d));
}

// Every serial read is logged at debug, whichever way it is read: straight
// from a message's bytes, or from a tag object.
TEST(DeviceRoundTrip, EverySerialReadIsLoggedAtDebug) {
    LogCapture log;
    const char* hex = "0021 | 02 00 01 0000 0001 0004 | 05 00 0000 | 08 02 0004 1234ABCD | "
                      "05 00 0000 | 08 02 0004 00000005";
    ListPtr objs(cObject::parseMsg(std::unique_ptr<VMsg>(wiretest::parseHex(hex)).get()));
    EXPECT_EQ(objs->numObjects(), 2);
    cObjectDevice d;
    std::unique_ptr<VTag> tag(VTagFactory::createVTag(8, 0xCAFEu));
    d.populate_tags(tag.get());
    EXPECT_EQ(d.getDeviceSerial(), 0xCAFEu);
    for (const char* line : {"Add Serial Number 0x1234ABCD", "Add Serial Number 0x00000005",
                             "Add Serial Number 0x0000CAFE"})
        EXPECT_EQ(log.count(line, log4cpp::Priority::DEBUG), 1) << line;
}
