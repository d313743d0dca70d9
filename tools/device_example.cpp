// Builds a device, prints its JSON document and the hex of its datagram, and
// reads both back: the smallest tour of the object model.
#include <cstdio>
#include <memory>

#include "device.h"
#include "objectlist.h"

namespace {

void printDevice(const char* from, cObjectDevice* d) {
    std::printf("%s: serial %u, label \"%s\", type %d, %u discrete inputs\n", from,
                d->getDeviceSerial(), d->getDeviceLabel() ? d->getDeviceLabel() : "",
                static_cast<int>(d->getDeviceType()), d->getDiscreteInCount());
}

}  // namespace

int main() {
    cObjectDevice* device = new cObjectDevice;
    device->setDeviceSerial(1001);
    device->setDeviceLabel("Pump house RTU");
    device->setDeviceType(cObjectDevice::DEVICE_TYPE_3);
    device->setDeviceOpState(cObject::OPSTATE_1);
    device->setDiscreteInCount(8);

    cObjectList list;
    list.add(device);
    list.setMsgType(0);
    list.setMsgSeq(1);

    char* json = cObject::getJSON(&list);
    std::printf("JSON:     %s\n", json);

    std::unique_ptr<VMsg> msg(list.toMsg());
    unsigned char datagram[1024];
    const unsigned short n = msg->getMsg(datagram, sizeof datagram);
    std::printf("Datagram: ");
    for (unsigned short i = 0; i < n; ++i) std::printf("%02x", datagram[i]);
    std::printf(" (%u bytes)\n", n);

    std::unique_ptr<cObjectList> fromJson(cObject::parseJSON(json));
    cObject::deleteJSON(json);
    std::unique_ptr<VMsg> decoded(VMsg::parseMsg(datagram, n));
    std::unique_ptr<cObjectList> fromMsg(cObject::parseMsg(decoded.get()));

    int rc = 0;
    for (cObjectList* back : {fromJson.get(), fromMsg.get()}) {
        cObjectDevice* d = dynamic_cast<cObjectDevice*>(back->first());
        if (!d || !d->compIndex(device)) rc = 1;
        if (d) printDevice(back == fromJson.get() ? "From JSON    " : "From datagram", d);
        back->deleteObjects();
    }
    list.deleteObjects();
    return rc;
}
