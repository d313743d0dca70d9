#include "capability.h"

#include "objectrows.h"

// Its fields: class cObjectCapability in objects.fields.
WQX_TABLE_CLASS(cObjectCapability)

cObjectCapability::cObjectCapability() : cObject(OBJ_CAPABILITY) {
    WQX_CONSTRUCT(cObjectCapability);
}

void cObjectCapability::setLabel(const char* text) { wqx::setText(label, text); }
void cObjectCapability::setValue(const char* text) { wqx::setText(value, text); }
