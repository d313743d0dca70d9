// cObjectAdhocEvent: one entry of the site's ad hoc event log, a numbered,
// time-stamped free-text label and value about one port of one device,
// identified by its sequence number. Object type OBJ_ADHOC_EVENT, wire
// object code 175.
//
// Ownership: the label and value are owned copies; the getters lend them
// until the next set of that field or the object's end. Errors: the JSON
// parse answers false with a warning; nothing throws.
// Thread safety: one thread at a time, like every object.
#ifndef WQX_ADHOC_H
#define WQX_ADHOC_H

#include "object.h"

class WQX_EXPORT cObjectAdhocEvent : public cObject {
public:
    cObjectAdhocEvent();
    explicit cObjectAdhocEvent(cObjectAdhocEvent* source);
    ~cObjectAdhocEvent() override;

    unsigned int getSequenceNumber() const { return sequenceNumber; }
    void setSequenceNumber(unsigned int v) { sequenceNumber = v; }
    unsigned int getTimeStamp() const { return timeStamp; }
    void setTimeStamp(unsigned int v) { timeStamp = v; }
    unsigned int getDeviceSerial() const { return deviceSerial; }
    void setDeviceSerial(unsigned int v) { deviceSerial = v; }
    unsigned int getPortId() const { return portId; }
    void setPortId(unsigned int v) { portId = v; }
    const char* getEventLabel() const { return eventLabel; }
    void setEventLabel(const char* text);  // null clears
    const char* getEventValue() const { return eventValue; }
    void setEventValue(const char* text);  // null clears
    unsigned int getStartSeq() const { return startSeq; }
    void setStartSeq(unsigned int v) { startSeq = v; }

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
    cObjectAdhocEvent(const cObjectAdhocEvent&) = delete;
    cObjectAdhocEvent& operator=(const cObjectAdhocEvent&) = delete;

    unsigned int sequenceNumber;
    unsigned int timeStamp;
    unsigned int deviceSerial;
    unsigned int portId;
    char* eventLabel;
    char* eventValue;
    unsigned int startSeq;
};

#endif
