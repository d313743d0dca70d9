// cObjectAOutput: an analog output of a device, a port carrying an output
// value with the sampled value and its scaling, alarm thresholds, a display
// unit and the output's range. Object type OBJ_PORT_AOUT, port type 4, wire
// object code 77.
//
// Floats that are not set hold a quiet NaN; any NaN counts as not set.
// Ownership: label and display unit are owned copies; the getters lend them.
// Errors: unknown tags are logged and skipped; parse(json_t*) returns false
// at the first value of the wrong type.
// Thread safety: one thread at a time, like every object.
#ifndef WQX_AOUTPUT_H
#define WQX_AOUTPUT_H

#include "port.h"

class WQX_EXPORT cObjectAOutput : public cObjectPort {
public:
    cObjectAOutput();
    // A copy of source with its own texts; a null source gives a default output.
    explicit cObjectAOutput(cObjectAOutput* source);
    ~cObjectAOutput() override;

    // The class only carries these values; nothing checks thresholds or range.
    float getSampledValue() const { return sampledValue; }
    void setSampledValue(float v) { sampledValue = v; }
    float getOffset() const { return offset; }
    void setOffset(float v) { offset = v; }
    float getGain() const { return gain; }
    void setGain(float v) { gain = v; }
    float getOutputValue() const { return outputValue; }
    void setOutputValue(float v) { outputValue = v; }
    float getAlarmLowWarn() const { return alarmLowWarn; }
    void setAlarmLowWarn(float v) { alarmLowWarn = v; }
    float getAlarmLowError() const { return alarmLowError; }
    void setAlarmLowError(float v) { alarmLowError = v; }
    float getAlarmHighWarn() const { return alarmHighWarn; }
    void setAlarmHighWarn(float v) { alarmHighWarn = v; }
    float getAlarmHighError() const { return alarmHighError; }
    void setAlarmHighError(float v) { alarmHighError = v; }
    const char* getDisplayUnit() const { return displayUnit; }
    void setDisplayUnit(const char* unit);
    float getMaximumValue() const { return maximumValue; }
    void setMaximumValue(float v) { maximumValue = v; }
    float getMinimumValue() const { return minimumValue; }
    void setMinimumValue(float v) { minimumValue = v; }

    cTagList* getTags() override;
    json_t* getJSONObj() override;
    bool parse(VelmorObject* group, std::vector<VTag*>* msgTags) override;
    bool parse(json_t* array) override;
    // True for an analog output with the same port id and device serial.
    bool compIndex(cObject* other) override;
    // By port id, then device serial; false for another class.
    bool operator<(cObject& other) override;
    const char* printKey() override;
    cObject* clone() override;

    void populate_tags(VTag* tag);

private:
    cObjectAOutput(const cObjectAOutput&) = delete;
    cObjectAOutput& operator=(const cObjectAOutput&) = delete;

    float sampledValue;
    float offset;
    float gain;
    float outputValue;
    float alarmLowWarn;
    float alarmLowError;
    float alarmHighWarn;
    float alarmHighError;
    char* displayUnit;
    float maximumValue;
    float minimumValue;
};

#endif
