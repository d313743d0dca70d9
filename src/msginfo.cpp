#include "msginfo.h"

#include "objectrows.h"

// Its fields: class cObjectMsgInfo in objects.fields. It has no identity:
// every object is the same as any other, and none comes before another.
WQX_TABLE_OBJECT(cObjectMsgInfo)

cObjectMsgInfo::cObjectMsgInfo() : cObject(OBJ_MSG_INFO) {
    WQX_CONSTRUCT(cObjectMsgInfo);
}

bool cObjectMsgInfo::compIndex(cObject*) { return true; }

bool cObjectMsgInfo::operator<(cObject&) { return false; }
