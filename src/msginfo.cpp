#include "msginfo.h"

#include "objectfields.h"

using namespace wqx;

WQX_LOG_CATEGORY(msgInfoLog, "cObjectMsgInfo")

cObjectMsgInfo::cObjectMsgInfo() : cObject(OBJ_MSG_INFO), indexesOnly(false), maxReplies(0) {}

cObjectMsgInfo::cObjectMsgInfo(cObjectMsgInfo* source) : cObjectMsgInfo() {
    if (!source) return;
    indexesOnly = source->indexesOnly;
    maxReplies = source->maxReplies;
}

cObjectMsgInfo::~cObjectMsgInfo() = default;

cTagList* cObjectMsgInfo::getTags() {
    cTagList* tags = new cTagList;
    tags->add(65);
    // The flag travels as the bare tag: its presence is the value.
    if (indexesOnly) tags->add(66);
    if (maxReplies != 0) tags->add(69, maxReplies);
    return tags;
}

// Only the group is read: a modifier never takes message-level tags.
bool cObjectMsgInfo::parse(VelmorObject* group, std::vector<VTag*>*) {
    if (!group) return true;
    for (VTag* tag : group->getTags()) {
        switch (tag->getTag()) {
        case 66: indexesOnly = true; break;
        case 69: maxReplies = cTagList::getUInt32(tag); break;
        default: logUnknownTag(msgInfoLog(), tag); break;
        }
    }
    return true;
}

json_t* cObjectMsgInfo::getJSONObj() {
    return JsonFields()
        .boolean("TAG_MSG_INFO_IDX_ONLY", indexesOnly)
        .integer("TAG_MSG_INFO_MAX_REPLIES", maxReplies)
        .release();
}

bool cObjectMsgInfo::parse(json_t* array) {
    static const JsonParseTexts texts = {"object in msginfo parse not a JSON object",
                                         "Array size in msginfo parse array size:%d ",
                                         "object in msginfo parse not a JSON object "};
    return parseJsonFields(array, texts, [this](const JsonElement& e) {
        return e.u32("TAG_MSG_INFO_MAX_REPLIES", "MaxReplies in msginfo parse not a number",
                     maxReplies) &&
               e.boolean("TAG_MSG_INFO_IDX_ONLY", " in IndexesOnly parse not a boolean",
                         [this](bool v) { indexesOnly = v; });
    });
}

bool cObjectMsgInfo::compIndex(cObject*) { return true; }

bool cObjectMsgInfo::operator<(cObject&) { return false; }

const char* cObjectMsgInfo::printKey() { return "None"; }

cObject* cObjectMsgInfo::clone() { return new cObjectMsgInfo(this); }
