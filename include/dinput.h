// cObjectDInput: a discrete (two-state) input of a device, a port with a
// present and a default state from which its alarm status follows. Object
// type OBJ_PORT_DIN, port type 1, wire object code 15.
//
// Ownership: as cObjectPort (the label is an owned copy).
// Errors: unknown tags are logged and skipped; parse(json_t*) returns false
// at the first value of the wrong type.
// Thread safety: one thread at a time, like every object.
#ifndef WQX_DINPUT_H
#define WQX_DINPUT_H

#include "port.h"

class WQX_EXPORT cObjectDInput : public cObjectPort {
public:
    cObjectDInput();
    // A copy of source; the status is copied, not derived. A null source
    // gives a default input.
    explicit cObjectDInput(cObjectDInput* source);
    ~cObjectDInput() override;

    // Both setters derive the port status: 0 while either state is 0, 2
    // while the states are equal, 1 while they differ.
    eObjectIOState getInputState() const { return inputState; }
    void setInputState(eObjectIOState v);
    eObjectIOState getDefaultState() const { return defaultState; }
    void setDefaultState(eObjectIOState v);

    cTagList* getTags() override;
    json_t* getJSONObj() override;
    bool parse(VelmorObject* group, std::vector<VTag*>* msgTags) override;
    bool parse(json_t* array) override;
    // True for a discrete input with the same port id and device serial.
    bool compIndex(cObject* other) override;
    // By port id, then device serial; false for another class.
    bool operator<(cObject& other) override;
    const char* printKey() override;
    cObject* clone() override;

    void populate_tags(VTag* tag);

private:
    cObjectDInput(const cObjectDInput&) = delete;
    cObjectDInput& operator=(const cObjectDInput&) = delete;

    eObjectIOState inputState;
    eObjectIOState defaultState;
};

#endif
