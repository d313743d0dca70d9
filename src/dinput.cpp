#include "dinput.h"

#include "objectrows.h"
#include "portfields.h"

// Its fields: class cObjectDInput in objects.fields. Its hooks are the
// discrete points' (portfields.h), with tags 17 and 20 stored as sent.
WQX_TABLE_CLASS(cObjectDInput)

cObjectDInput::cObjectDInput() : cObjectPort(PORT_TYPE_DIN) {
    WQX_CONSTRUCT_WITH(cObjectDInput, .attach(discreteHooks<cObjectDInput, PORT_TYPE_DIN, false>));
}

void cObjectDInput::setInputState(eObjectIOState v) { wqx::setDiscreteState(*this, inputState, v); }
void cObjectDInput::setDefaultState(eObjectIOState v) { wqx::setDiscreteState(*this, defaultState, v); }
