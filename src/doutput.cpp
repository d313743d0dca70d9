#include "doutput.h"

#include "objectrows.h"
#include "portfields.h"

// Its fields: class cObjectDOutput in objects.fields. Its hooks are the
// discrete points' (portfields.h), with tags 17 and 20 read through the
// state setters, as JSON is.
WQX_TABLE_CLASS(cObjectDOutput)

cObjectDOutput::cObjectDOutput() : cObjectPort(PORT_TYPE_DOUT) {
    WQX_CONSTRUCT_WITH(cObjectDOutput, .attach(discreteHooks<cObjectDOutput, PORT_TYPE_DOUT, true>));
}

void cObjectDOutput::setOutputState(eObjectIOState v) { wqx::setDiscreteState(*this, outputState, v); }
void cObjectDOutput::setDefaultState(eObjectIOState v) { wqx::setDiscreteState(*this, defaultState, v); }
