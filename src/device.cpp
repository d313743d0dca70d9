#include "device.h"

#include "objectrows.h"

// Its fields: class cObjectDevice in objects.fields.
WQX_TABLE_CLASS(cObjectDevice)

namespace {

// The device writes status 1 and 2 as 0 and 1.
const wqx::CodePair kStatusCodes[] = {{1, 0}, {2, 1}};
// Type 9 travels as 8 and type 10 as 10: code 9 is never used.
const wqx::CodePair kTypeCodes[] = {{1, 0}, {2, 1}, {3, 2}, {4, 3}, {5, 4},
                                    {6, 5}, {7, 6}, {8, 7}, {9, 8}, {10, 10}};

}  // namespace

cObjectDevice::cObjectDevice() : cObject(OBJ_DEVICE) {
    // Every serial read from a tag is logged too.
    WQX_CONSTRUCT_WITH(cObjectDevice, .row(8).traceRead("Add Serial Number 0x%08X"));
}

void cObjectDevice::setDeviceLabel(const char* label) { wqx::setText(deviceLabel, label); }
