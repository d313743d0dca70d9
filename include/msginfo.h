// cObjectMsgInfo: a request modifier, not a site object. Sent in front of
// the objects it qualifies, it asks the server for indexes only and can cap
// the number of replies. Object type OBJ_MSG_INFO, wire object code 65.
//
// It has no identity: compIndex accepts everything, operator< is always
// false, printKey is "None". Owns nothing.
// Thread safety: one thread at a time, like every object.
#ifndef WQX_MSGINFO_H
#define WQX_MSGINFO_H

#include "object.h"

class WQX_EXPORT cObjectMsgInfo : public cObject {
public:
    cObjectMsgInfo();
    explicit cObjectMsgInfo(cObjectMsgInfo* source);
    ~cObjectMsgInfo() override;

    void setIndexesOnly(bool v) { indexesOnly = v; }
    // 0 means no limit and is not sent.
    void setMaxReplies(unsigned int v) { maxReplies = v; }

    cTagList* getTags() override;
    json_t* getJSONObj() override;
    bool parse(VelmorObject* group, std::vector<VTag*>* msgTags) override;
    bool parse(json_t* array) override;
    bool compIndex(cObject* other) override;
    bool operator<(cObject& other) override;
    const char* printKey() override;
    cObject* clone() override;

private:
    cObjectMsgInfo(const cObjectMsgInfo&) = delete;
    cObjectMsgInfo& operator=(const cObjectMsgInfo&) = delete;

    bool indexesOnly;
    unsigned int maxReplies;
};

#endif
