// cObjectAnalogSample: one numbered sample of an analog input, identified by
// device serial, port number and sequence number. Object type
// OBJ_ANALOG_SAMPLE, wire object code 63.
//
// Ownership: owns nothing beyond itself. Errors: the JSON parse answers
// false with a warning; nothing throws.
// Thread safety: one thread at a time, like every object.
#ifndef WQX_ASAMPLE_H
#define WQX_ASAMPLE_H

#include "object.h"

class WQX_EXPORT cObjectAnalogSample : public cObject {
public:
    cObjectAnalogSample();
    explicit cObjectAnalogSample(cObjectAnalogSample* source);
    ~cObjectAnalogSample() override;

    unsigned int getDeviceSerial() const { return deviceSerial; }
    void setDeviceSerial(unsigned int v) { deviceSerial = v; }
    // Only the low 8 bits of the port and sequence numbers go into a message.
    unsigned int getPortNum() const { return portNum; }
    void setPortNum(unsigned int v) { portNum = v; }
    unsigned int getSeqNum() const { return seqNum; }
    void setSeqNum(unsigned int v) { seqNum = v; }
    // NaN while not set.
    float getSample() const { return sample; }
    void setSample(float v) { sample = v; }

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
    cObjectAnalogSample(const cObjectAnalogSample&) = delete;
    cObjectAnalogSample& operator=(const cObjectAnalogSample&) = delete;

    unsigned int deviceSerial;
    unsigned int portNum;
    unsigned int seqNum;
    float sample;
};

#endif
