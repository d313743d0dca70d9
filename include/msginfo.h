// cObjectMsgInfo: a request modifier that travels in front of the objects it
// qualifies: reply with indexes only, and at most so many replies. Object
// type OBJ_MSG_INFO, wire object code 65; it is only sent, never read back
// from a message or a JSON document.
//
// It has no identity: compIndex accepts every object (null included),
// operator< is always false and printKey is "None".
// Ownership: owns nothing beyond itself.
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
    // 0 means no limit.
    void setMaxReplies(unsigned int v) { maxReplies = v; }

    cTagList* getTags() override;
    json_t* getJSONObj() override;
    // Reads the group's tags only; message-level tags do not apply here.
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
