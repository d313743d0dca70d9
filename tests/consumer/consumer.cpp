// A program built against an installed libwqxobj, the way an application
// would: it proves the headers, the pkg-config file and the CMake package.
#include <wqxobj/device.h>
#include <wqxobj/objectlist.h>

#include <cstdio>
#include <cstring>

int main() {
    cObjectList list;
    cObjectDevice* d = new cObjectDevice;
    d->setDeviceSerial(7);
    list.add(d);
    char* json = cObject::getJSON(&list);
    const bool ok = json && std::strstr(json, "\"TAG_DEV_ID\": 7");
    std::printf("%s\n", json ? json : "(null)");
    cObject::deleteJSON(json);
    list.deleteObjects();
    return ok ? 0 : 1;
}
