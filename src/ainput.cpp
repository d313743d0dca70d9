#include "ainput.h"

#include "objectrows.h"
#include "portfields.h"

// Its fields: class cObjectAInput in objects.fields.
WQX_TABLE_CLASS(cObjectAInput)

namespace {

// The kinds of input travel as their own numbers; anything else reads as 0.
const wqx::CodePair kInputTypeCodes[] = {{1, 1}, {2, 2}, {3, 3}};

}  // namespace

cObjectAInput::cObjectAInput() : cObjectPort(PORT_TYPE_AIN) {
    WQX_CONSTRUCT(cObjectAInput);
}

void cObjectAInput::setDisplayUnit(const char* unit) { wqx::setText(displayUnit, unit); }
