#include "access.h"

#include "fieldtable.h"

using namespace wqx;

WQX_TABLE_CLASS(cObjectAccess)

cObjectAccess::cObjectAccess() : cObject(OBJ_ACCESS) {
    // The label shares the ad hoc event's JSON key: peers read both the same way.
    static const ObjectTable* const t =
        table = TableBuilder(this, typeid(*this), 73, WQX_TABLE_LOG("cObjectAccess"),
                             {"object in access parse not a JSON array",
                              "Array size in access parse array size:%d ",
                              "object in access parse not a JSON object "})
            .u32(&deviceSerial, 8, "TAG_DEV_ID", 0, "devID in access parse not a number")
            .u32(&portNum, 18, "TAG_IO_PNUM", 1, "PortId in access parse not a number", LOW8)
            .text(&label, 26, "TAG_ADHOC_LABEL", 2, "Event label in access parse not a string")
            .text(&scanCode, 74, "TAG_ACCESS_SCAN_CODE", 3,
                  "Event Value in access parse not a string")
            .printKey("")
            .keys({&deviceSerial, &portNum})
            .build();
    constructFields(this, *t);
}

void cObjectAccess::setLabel(const char* text) { setText(label, text); }
void cObjectAccess::setScanCode(const char* text) { setText(scanCode, text); }
