#include "asample.h"

#include "objectrows.h"

// Its fields: class cObjectAnalogSample in objects.fields.
WQX_TABLE_CLASS(cObjectAnalogSample)

cObjectAnalogSample::cObjectAnalogSample() : cObject(OBJ_ANALOG_SAMPLE) {
    WQX_CONSTRUCT(cObjectAnalogSample);
}
