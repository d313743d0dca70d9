// Objects with every field set, made without knowing any class: the object
// is offered one tag of every number the dictionary knows, each carrying a
// value of its type, and keeps the fields it has. Used by the
// CLI (which keys a type has), the benchmarks, the fuzz seed generator and
// the dissector test's capture.
#ifndef WQX_TOOLS_EVERYFIELD_H
#define WQX_TOOLS_EVERYFIELD_H

#include <memory>

#include "object.h"
#include "taglist.h"

namespace everyfield {

// One message: the object code of type, then a tag of every other number.
inline VMsg* everyTagMessage(cObject::eObjectTypes type) {
    cTagList tags;
    tags.add(cObject::getWireCode(type));
    const VelmorDictDef* dict = WQX::DictDef;
    for (unsigned i = 0; i < dict->getNumDefs(); ++i) {
        const VelmorDictEntry& e = dict->getDefs()[i];
        if (e.objectCode) continue;
        switch (e.type) {
        case VTAG_STRING: tags.add(e.tag, "Seed text"); break;
        case VTAG_UINT32: tags.add(e.tag, 7u); break;
        case VTAG_UINT8: tags.add(e.tag, static_cast<unsigned char>(1)); break;
        case VTAG_FLOAT: tags.add(e.tag, 2.5f); break;
        default: tags.add(e.tag); break;
        }
    }
    VMsg* msg = new VMsg(1);
    while (VTag* t = tags.get()) msg->addTag(t);
    return msg;
}

// Fills obj from the tags of msg's first object group.
inline void fillFrom(cObject* obj, VMsg* msg) {
    std::unique_ptr<VelmorMessage> groups(VelmorMessage::parseVMsg(WQX::DictDef, msg));
    if (groups) obj->parse(&groups->getObjects().front(), &groups->getMsgTags());
}

// A new object of type with every field it has set; null for OBJ_NONE.
// Some classes derive a field from others (a discrete point's status from
// its states, in one form or the other), so the object then reads its own
// JSON array and its own tags once more: what is left is a set of values
// every form carries unchanged.
inline cObject* makeFull(cObject::eObjectTypes type) {
    cObject* obj = cObject::create(type);
    if (!obj) return nullptr;
    std::unique_ptr<VMsg> every(everyTagMessage(type));
    fillFrom(obj, every.get());
    json_t* json = obj->getJSONObj();
    obj->parse(json);
    json_decref(json);
    std::unique_ptr<cTagList> own(obj->getTags());
    VMsg settled(1);
    while (VTag* t = own->get()) settled.addTag(t);
    fillFrom(obj, &settled);
    return obj;
}

}  // namespace everyfield

#endif
