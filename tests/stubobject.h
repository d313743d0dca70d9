// A minimal object of no real class, for tests that need "an object of
// another class" or "an object of a type outside 0 to 13".
#ifndef WQX_TEST_STUBOBJECT_H
#define WQX_TEST_STUBOBJECT_H

#include "object.h"
#include "taglist.h"

class StubObject : public cObject {
public:
    explicit StubObject(eObjectTypes type = OBJ_NONE) : cObject(type) {}
    cTagList* getTags() override { return nullptr; }
    json_t* getJSONObj() override { return json_array(); }
    bool parse(VelmorObject*, std::vector<VTag*>*) override { return true; }
    bool parse(json_t*) override { return true; }
    bool compIndex(cObject* other) override { return other == this; }
    bool operator<(cObject&) override { return false; }
    const char* printKey() override { return nullptr; }
    cObject* clone() override { return new StubObject(getType()); }
};

#endif
