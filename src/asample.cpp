#include "asample.h"

#include "fieldtable.h"

using namespace wqx;

WQX_TABLE_CLASS(cObjectAnalogSample)

cObjectAnalogSample::cObjectAnalogSample() : cObject(OBJ_ANALOG_SAMPLE) {
    // Port and sequence numbers go out as 8 bits but are read whole, so a
    // peer that sends them wider is understood.
    static const ObjectTable* const t =
        table = TableBuilder(this, typeid(*this), 63, WQX_TABLE_LOG("cObjectAnalogSample"),
                             {"object in asample parse not a JSON array",
                              "Array size in asample parse array size:%d ",
                              "object in asample parse not a JSON object "})
            .u32(&deviceSerial, 8, "TAG_DEV_ID", 0, "devId in asample parse not a number")
            .u32(&portNum, 18, "TAG_IO_PNUM", 1, "pNum in asample parse not a number", LOW8)
            .u32(&seqNum, 60, "TAG_AI_SAMPLE_SEQ", 2, "sampleSeq in asample parse not a number",
                 LOW8)
            .real(&sample, 49, "TAG_IO_SAMPLED_VALUE", 3,
                  "sampledValue in asample parse not a number")
            .printKey("")
            .keys({&deviceSerial, &portNum, &seqNum})
            .build();
    constructFields(this, *t);
}
