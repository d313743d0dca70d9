// cObjectDOutput: a discrete (two-state) output of a device, a port with a
// present and a default state from which its alarm status follows. Object
// type OBJ_PORT_DOUT, port type 2, wire object code 16.
//
// Ownership: as cObjectPort (the label is an owned copy).
// Errors: unknown tags are logged and skipped; parse(json_t*) returns false
// at the first value of the wrong type.
// Thread safety: one thread at a time, like every object.
#ifndef WQX_DOUTPUT_H
#define WQX_DOUTPUT_H

#include "port.h"

class WQX_EXPORT cObjectDOutput : public cObjectPort {
public:
    cObjectDOutput();
    // A copy of source; the status is copied, not derived. A null source
    // gives a default output.
    explicit cObjectDOutput(cObjectDOutput* source);
    ~cObjectDOutput() override;

    // Both setters derive the port status: 0 while either state is 0, 2
    // while the states are equal, 1 while they differ.
    eObjectIOState getOutputState() const { return outputState; }
    void setOutputState(eObjectIOState v);
    eObjectIOState getDefaultState() const { return defaultState; }
    void setDefaultState(eObjectIOState v);

    cTagList* getTags() override;
    json_t* getJSONObj() override;
    bool parse(VelmorObject* group, std::vector<VTag*>* msgTags) override;
    bool parse(json_t* array) override;
    // True for a discrete output with the same port id and device serial.
    bool compIndex(cObject* other) override;
    // By port id, then device serial; false for another class.
    bool operator<(cObject& other) override;
    const char* printKey() override;
    cObject* clone() override;

    void populate_tags(VTag* tag);

private:
    cObjectDOutput(const cObjectDOutput&) = delete;
    cObjectDOutput& operator=(const cObjectDOutput&) = delete;

    eObjectIOState outputState;
    eObjectIOState defaultState;
};

#endif
