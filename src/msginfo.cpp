#include "msginfo.h"

#include "fieldtable.h"

using namespace wqx;

WQX_TABLE_OBJECT(cObjectMsgInfo)

cObjectMsgInfo::cObjectMsgInfo() : cObject(OBJ_MSG_INFO) {
    // Only the object's own tags are read: the message-level ones describe
    // the message it rides in, not this request.
    static const ObjectTable* const t =
        table = TableBuilder(this, typeid(*this), 65, WQX_TABLE_LOG("cObjectMsgInfo"),
                             {"object in msginfo parse not a JSON object",
                              "Array size in msginfo parse array size:%d ",
                              "object in msginfo parse not a JSON object "})
            // The flag is the tag's presence; it carries no value.
            .boolean(&indexesOnly, 66, "TAG_MSG_INFO_IDX_ONLY", 0,
                     " in IndexesOnly parse not a boolean")
            .readAt(2)
            .u32(&maxReplies, 69, "TAG_MSG_INFO_MAX_REPLIES", 1,
                 "MaxReplies in msginfo parse not a number", IF_NONZERO, 0)
            .printKey("None")
            .messageTagsIgnored()
            .build();
    constructFields(this, *t);
}

bool cObjectMsgInfo::compIndex(cObject*) { return true; }

bool cObjectMsgInfo::operator<(cObject&) { return false; }
