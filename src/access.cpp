#include "access.h"

#include "objectrows.h"

// Its fields: class cObjectAccess in objects.fields.
WQX_TABLE_CLASS(cObjectAccess)

cObjectAccess::cObjectAccess() : cObject(OBJ_ACCESS) {
    WQX_CONSTRUCT(cObjectAccess);
}

void cObjectAccess::setLabel(const char* text) { wqx::setText(label, text); }
void cObjectAccess::setScanCode(const char* text) { wqx::setText(scanCode, text); }
