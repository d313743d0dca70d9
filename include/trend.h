// cObjectTrend: one entry of the site's trend log, the calculated value of
// one port of one device, identified by its trend sequence number. Object
// type OBJ_TREND_EVENT, wire object code 72.
//
// Ownership: owns nothing beyond itself.
// Thread safety: one thread at a time, like every object.
#ifndef WQX_TREND_H
#define WQX_TREND_H

#include "object.h"

class WQX_EXPORT cObjectTrend : public cObject {
public:
    cObjectTrend();
    explicit cObjectTrend(cObjectTrend* source);
    ~cObjectTrend() override;

    unsigned int getTrendSeqNum() const { return trendSeqNum; }
    void setTrendSeqNum(unsigned int v) { trendSeqNum = v; }
    unsigned int getTimeStamp() const { return timeStamp; }
    void setTimeStamp(unsigned int v) { timeStamp = v; }
    unsigned int getDeviceSerial() const { return deviceSerial; }
    void setDeviceSerial(unsigned int v) { deviceSerial = v; }
    unsigned int getPortId() const { return portId; }
    void setPortId(unsigned int v) { portId = v; }
    // Always sent, 0 by default; only the low 8 bits travel in a message.
    unsigned int getObjectType() const { return objectType; }
    void setObjectType(unsigned int v) { objectType = v; }
    // NaN while not set.
    float getCalculatedValue() const { return calculatedValue; }
    void setCalculatedValue(float v) { calculatedValue = v; }
    unsigned int getStartSeqNum() const { return startSeqNum; }
    void setStartSeqNum(unsigned int v) { startSeqNum = v; }

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
    cObjectTrend(const cObjectTrend&) = delete;
    cObjectTrend& operator=(const cObjectTrend&) = delete;

    unsigned int trendSeqNum;
    unsigned int timeStamp;
    unsigned int deviceSerial;
    unsigned int portId;
    unsigned int objectType;
    float calculatedValue;
    unsigned int startSeqNum;
};

#endif
