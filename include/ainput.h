// cObjectAInput: an analog input of a device, a port carrying a sampled
// value with its scaling, a calculated value, alarm thresholds, rates, a
// display unit, a noise band and the kind of input. Object type
// OBJ_PORT_AIN, port type 3, wire object code 48.
//
// Floats that are not set hold a quiet NaN; any NaN counts as not set.
// Ownership: label and display unit are owned copies; the getters lend them.
// Errors: unknown tags are logged and skipped; parse(json_t*) returns false
// at the first value of the wrong type.
// Thread safety: one thread at a time, like every object.
#ifndef WQX_AINPUT_H
#define WQX_AINPUT_H

#include "port.h"

class WQX_EXPORT cObjectAInput : public cObjectPort {
public:
    // 0 is not set; the kinds are known only by number.
    enum eAnalogInputType : int { AI_TYPE_NOT_SET = 0, AI_TYPE_1 = 1, AI_TYPE_2 = 2, AI_TYPE_3 = 3 };

    cObjectAInput();
    // A copy of source with its own texts; a null source gives a default input.
    explicit cObjectAInput(cObjectAInput* source);
    ~cObjectAInput() override;

    // The class only carries these values; nothing is derived or checked.
    float getSampledValue() const { return sampledValue; }
    void setSampledValue(float v) { sampledValue = v; }
    float getOffset() const { return offset; }
    void setOffset(float v) { offset = v; }
    float getGain() const { return gain; }
    void setGain(float v) { gain = v; }
    float getCalculatedValue() const { return calculatedValue; }
    void setCalculatedValue(float v) { calculatedValue = v; }
    float getAlarmLowWarn() const { return alarmLowWarn; }
    void setAlarmLowWarn(float v) { alarmLowWarn = v; }
    float getAlarmLowError() const { return alarmLowError; }
    void setAlarmLowError(float v) { alarmLowError = v; }
    float getAlarmHighWarn() const { return alarmHighWarn; }
    void setAlarmHighWarn(float v) { alarmHighWarn = v; }
    float getAlarmHighError() const { return alarmHighError; }
    void setAlarmHighError(float v) { alarmHighError = v; }
    unsigned int getSampleRate() const { return sampleRate; }
    void setSampleRate(unsigned int v) { sampleRate = v; }
    unsigned int getReportRate() const { return reportRate; }
    void setReportRate(unsigned int v) { reportRate = v; }
    const char* getDisplayUnit() const { return displayUnit; }
    void setDisplayUnit(const char* unit);
    unsigned int getLastSampleSeq() const { return lastSampleSeq; }
    void setLastSampleSeq(unsigned int v) { lastSampleSeq = v; }
    // Kept in the object only; carried in neither tags nor JSON.
    unsigned int getSampleCounter() const { return sampleCounter; }
    void setSampleCounter(unsigned int v) { sampleCounter = v; }
    float getAcceptableNoise() const { return acceptableNoise; }
    void setAcceptableNoise(float v) { acceptableNoise = v; }
    eAnalogInputType getAnalogInputType() const { return analogInputType; }
    void setAnalogInputType(eAnalogInputType v) { analogInputType = v; }

    cTagList* getTags() override;
    json_t* getJSONObj() override;
    bool parse(VelmorObject* group, std::vector<VTag*>* msgTags) override;
    bool parse(json_t* array) override;
    // True for an analog input with the same port id and device serial.
    bool compIndex(cObject* other) override;
    // By port id, then device serial; false for another class.
    bool operator<(cObject& other) override;
    const char* printKey() override;
    cObject* clone() override;

    void populate_tags(VTag* tag);

private:
    cObjectAInput(const cObjectAInput&) = delete;
    cObjectAInput& operator=(const cObjectAInput&) = delete;

    float sampledValue;
    float offset;
    float gain;
    float calculatedValue;
    float alarmLowWarn;
    float alarmLowError;
    float alarmHighWarn;
    float alarmHighError;
    unsigned int sampleRate;
    unsigned int reportRate;
    char* displayUnit;
    unsigned int lastSampleSeq;
    unsigned int sampleCounter;
    float acceptableNoise;
    eAnalogInputType analogInputType;
};

#endif
