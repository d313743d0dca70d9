// A JSON text through the document reader and back through the writer. The
// writer's output must read back to the same number of objects.
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <string>

#include "objectlist.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    std::unique_ptr<cObjectList> list(cObject::parseJSON(text.c_str()));
    char* json = cObject::getJSON(list.get());
    if (!json) std::abort();
    std::unique_ptr<cObjectList> again(cObject::parseJSON(json));
    if (again->numObjects() != list->numObjects()) std::abort();
    cObject::deleteJSON(json);
    again->deleteObjects();
    list->deleteObjects();
    return 0;
}
