// Internal helpers of the port family (the plain port and the four I/O
// points): the codes its enumerated fields travel as, in tags and JSON
// alike, and the pieces of behaviour the classes have in common. What
// differs between the classes stays in each class. Not installed.
#ifndef WQX_PORTFIELDS_H
#define WQX_PORTFIELDS_H

#include "dinput.h"
#include "doutput.h"
#include "fieldtable.h"
#include "objectfields.h"
#include "port.h"

namespace wqx {

// Status 1, 2, 3 travels as 1, 0, 2.
extern const CodePair kPortStatusCodes[3];
// Last toggled keeps 1 and 2 and exchanges 3 and 4.
extern const CodePair kToggleCodes[4];
// Port types 1 to 4 travel as themselves; anything else is not written.
extern const CodePair kPortTypeCodes[4];
// Discrete I/O state 1 travels as 1, state 2 as 0.
extern const CodePair kIOStateCodes[2];
// The discrete points' JSON alarm status: the status code without status 3,
// which their JSON leaves out.
extern const CodePair kDiscreteAlarmCodes[2];

// The status of a discrete point: 0 until both states are known, 2 while
// the present state is the default one, 1 otherwise.
cObject::eObjectStatus discreteStatus(cObject::eObjectIOState present,
                                      cObject::eObjectIOState normal);

// The I/O state an incoming code stands for; IOSTATE_NOT_SET for a code
// that stands for none, which the readers ignore.
cObject::eObjectIOState ioStateOf(unsigned char code);

// Hands the I/O state an incoming code (tag or JSON, low 8 bits) stands
// for to obj's setter, so the setter derives the status; a code that stands
// for no state is ignored.
template <class T>
void setIoState(void* obj, void (T::*setter)(cObject::eObjectIOState), long long code) {
    if (cObject::eObjectIOState s = ioStateOf(static_cast<unsigned char>(code)))
        (static_cast<T*>(obj)->*setter)(s);
}

// The discrete points write last toggled to JSON always: through the toggle
// code when it has one, otherwise as stored (0 included).
int discreteToggledJson(cObjectPort::ePortLastToggled toggled);

// The present state of each discrete point, under its own name.
template <class T>
struct PresentState;
template <>
struct PresentState<cObjectDInput> {
    static constexpr auto get = &cObjectDInput::getInputState;
    static constexpr auto set = &cObjectDInput::setInputState;
};
template <>
struct PresentState<cObjectDOutput> {
    static constexpr auto get = &cObjectDOutput::getOutputState;
    static constexpr auto set = &cObjectDOutput::setOutputState;
};

// What both state setters of a discrete point do: store v in state (the
// present or the default one) and derive the alarm status from the two.
template <class T>
void setDiscreteState(T& point, cObject::eObjectIOState& state, cObject::eObjectIOState v) {
    state = v;
    point.setPortStatus(discreteStatus((point.*PresentState<T>::get)(), point.getDefaultState()));
}

// The hooks both discrete points attach to their rows. Their present
// (tag 17) and default (tag 20) states go from JSON through the setters,
// which derive the alarm status, and from tags too where statesFromTags.
// Last toggled (88) goes to JSON always. The port type is the class's own
// (type) again after a tag 19 and after each JSON element, whatever they
// held.
template <class T, cObjectPort::ePortType type, bool statesFromTags>
TableBuilder& discreteHooks(TableBuilder& rows) {
    rows.row(17).onJson([](void* o, json_int_t v) { setIoState(o, PresentState<T>::set, v); });
    rows.row(20).onJson([](void* o, json_int_t v) { setIoState(o, &T::setDefaultState, v); });
    if (statesFromTags) {
        rows.row(17).onTag([](void* o, const TagIn& t) { setIoState(o, PresentState<T>::set, t.u8()); });
        rows.row(20).onTag([](void* o, const TagIn& t) { setIoState(o, &T::setDefaultState, t.u8()); });
    }
    rows.row(88).jsonOut([](const void* o) {
        return discreteToggledJson(static_cast<const T*>(o)->getPortToggled());
    });
    rows.row(19).onTag([](void* o, const TagIn&) { static_cast<T*>(o)->setPortType(type); });
    return rows.afterJsonElement([](void* o) { static_cast<T*>(o)->setPortType(type); });
}

}  // namespace wqx

#endif
