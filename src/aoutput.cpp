#include "aoutput.h"

#include "objectrows.h"
#include "portfields.h"

// Its fields: class cObjectAOutput in objects.fields.
WQX_TABLE_CLASS(cObjectAOutput)

cObjectAOutput::cObjectAOutput() : cObjectPort(PORT_TYPE_AOUT) {
    WQX_CONSTRUCT(cObjectAOutput);
}

void cObjectAOutput::setDisplayUnit(const char* unit) { wqx::setText(displayUnit, unit); }
