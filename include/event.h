// cObjectEvent: one entry of the site's event log, identified by its
// sequence number. Object type OBJ_EVENT, wire object code 36.
//
// Ownership: owns nothing beyond itself.
// Thread safety: one thread at a time, like every object.
#ifndef WQX_EVENT_H
#define WQX_EVENT_H

#include "object.h"

class WQX_EXPORT cObjectEvent : public cObject {
public:
    // 0 is not set; the kinds are known only by number.
    enum eEventType : int { EVENT_TYPE_NOT_SET = 0, EVENT_TYPE_1 = 1, EVENT_TYPE_2, EVENT_TYPE_3 };
    // 0 is not set; the operations are known only by number.
    enum eEventOpType : int {
        EVENT_OP_NOT_SET = 0,
        EVENT_OP_1 = 1, EVENT_OP_2, EVENT_OP_3, EVENT_OP_4,
    };

    cObjectEvent();
    explicit cObjectEvent(cObjectEvent* source);
    ~cObjectEvent() override;

    unsigned int getSeqNum() const { return seqNum; }
    void setSeqNum(unsigned int v) { seqNum = v; }
    eEventType getEventType() const { return eventType; }
    void setEventType(eEventType v) { eventType = v; }
    unsigned int getTimeStamp() const { return timeStamp; }
    void setTimeStamp(unsigned int v) { timeStamp = v; }
    unsigned int getDeviceSerial() const { return deviceSerial; }
    void setDeviceSerial(unsigned int v) { deviceSerial = v; }
    unsigned int getPortId() const { return portId; }
    void setPortId(unsigned int v) { portId = v; }
    // Only the low 8 bits travel in a message; JSON carries all 32.
    unsigned int getObjectType() const { return objectType; }
    void setObjectType(unsigned int v) { objectType = v; }
    eObjectStatus getStatus() const { return status; }
    void setStatus(eObjectStatus v) { status = v; }
    eObjectOpState getOpState() const { return opState; }
    void setOpState(eObjectOpState v) { opState = v; }
    eEventOpType getEventOp() const { return eventOp; }
    void setEventOp(eEventOpType v) { eventOp = v; }
    unsigned int getDeviceSerialOld() const { return deviceSerialOld; }
    void setDeviceSerialOld(unsigned int v) { deviceSerialOld = v; }
    unsigned int getStartSeq() const { return startSeq; }
    void setStartSeq(unsigned int v) { startSeq = v; }
    unsigned int getEndSeq() const { return endSeq; }
    void setEndSeq(unsigned int v) { endSeq = v; }
    unsigned int getStartTime() const { return startTime; }
    void setStartTime(unsigned int v) { startTime = v; }
    unsigned int getEndTime() const { return endTime; }
    void setEndTime(unsigned int v) { endTime = v; }

    cTagList* getTags() override;
    json_t* getJSONObj() override;
    bool parse(VelmorObject* group, std::vector<VTag*>* msgTags) override;
    bool parse(json_t* array) override;
    bool compIndex(cObject* other) override;
    bool operator<(cObject& other) override;
    const char* printKey() override;
    cObject* clone() override;

    void populate_tags(VTag* tag);

private:
    cObjectEvent(const cObjectEvent&) = delete;
    cObjectEvent& operator=(const cObjectEvent&) = delete;

    unsigned int seqNum;
    eEventType eventType;
    unsigned int timeStamp;
    unsigned int deviceSerial;
    unsigned int portId;
    unsigned int objectType;
    eObjectStatus status;
    eObjectOpState opState;
    eEventOpType eventOp;
    unsigned int deviceSerialOld;
    unsigned int startSeq;
    unsigned int endSeq;
    unsigned int startTime;
    unsigned int endTime;
};

#endif
