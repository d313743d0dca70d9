#include "capability.h"

#include "fieldtable.h"

using namespace wqx;

WQX_TABLE_CLASS(cObjectCapability)

cObjectCapability::cObjectCapability() : cObject(OBJ_CAPABILITY) {
    // Peers match these texts as they are, borrowed names included.
    static const ObjectTable* const t =
        table = TableBuilder(this, typeid(*this), 171, WQX_TABLE_LOG("cObjectCapability"),
                             {"object in capability parse not a JSON object",
                              "Array size in capability parse array size:%d ",
                              "object in capability parse not a JSON object "})
            .u32(&deviceSerial, 8, "TAG_DEV_ID", 0, "devId in capability parse not a number")
            .u32(&capId, 174, "TAG_CAP_ID", 1, "pNum in capability parse not a number")
            .text(&label, 172, "TAG_CAP_LABEL", 2, "portLabel in capability parse not a string")
            .text(&value, 173, "TAG_CAP_VALUE", 3, "Event Value in adhoc parse not a string")
            .printKey("")
            .keys({&deviceSerial, &capId})
            .build();
    constructFields(this, *t);
}

void cObjectCapability::setLabel(const char* text) { setText(label, text); }
void cObjectCapability::setValue(const char* text) { setText(value, text); }
