#include "device.h"

#include "fieldtable.h"

using namespace wqx;

WQX_TABLE_CLASS(cObjectDevice)

namespace {

// The device writes status 1 and 2 as 0 and 1.
const CodePair kStatusCodes[] = {{1, 0}, {2, 1}};
// Type 9 travels as 8 and type 10 as 10: code 9 is never used.
const CodePair kTypeCodes[] = {{1, 0}, {2, 1}, {3, 2}, {4, 3}, {5, 4},
                               {6, 5}, {7, 6}, {8, 7}, {9, 8}, {10, 10}};

}  // namespace

cObjectDevice::cObjectDevice() : cObject(OBJ_DEVICE) {
    static const ObjectTable* const t =
        table = TableBuilder(this, typeid(*this), 5, WQX_TABLE_LOG("cObjectDevice"),
                             {"object in device parse not a JSON array",
                              "Array size in device parse array size:%d ",
                              "object in device parse not a JSON object "})
            .u32(&deviceSerial, 8, "TAG_DEV_ID", 0, "DeviceSerial in device parse not a number")
            .onTag([](void* o, const TagIn& tag) {
                const unsigned int serial = tag.u32();
                if (tag.mayLog()) table->log().debug("Add Serial Number 0x%08X", serial);
                static_cast<cObjectDevice*>(o)->deviceSerial = serial;
            })
            .text(&deviceLabel, 9, "TAG_DEV_LABEL", 1, "DeviceLabel in device parse not a string")
            .code(&deviceOpState, 6, "TAG_DEV_STATE", 2, "DeviceOpState in device parse not a number",
                  kOpStateCodes)
            .code(&deviceStatus, 7, "TAG_DEV_STATUS", 3, "DeviceStatus in device parse not a number",
                  kStatusCodes)
            .code(&deviceType, 10, "TAG_DEV_TYPE", 4, "DeviceType in device parse not a number",
                  kTypeCodes)
            .u32(&discreteInCount, 11, "TAG_DEV_NDISCINPUT", 5,
                 "DiscreteInCount in device parse not a number")
            .u32(&discreteOutCount, 12, "TAG_DEV_NDISCOUTPUT", 6,
                 "DiscreteOutCount in device parse not a number")
            .u32(&analogInCount, 13, "TAG_DEV_NANALOGINPUT", 7,
                 "AnalogInCount in device parse not a number")
            .u32(&analogOutCount, 14, "TAG_DEV_NANALOGOUTPUT", 8,
                 "AnalogOutCount in device parse not a number")
            .u32(&version, 64, "TAG_VERSION", 9, "Version in device parse not a number")
            .keys({&deviceSerial})
            .build();
    constructFields(this, *t);
}

void cObjectDevice::setDeviceLabel(const char* label) { setText(deviceLabel, label); }
