// A list of n objects with every field set, cycling through the classes, for
// the benchmarks.
#ifndef WQX_BENCH_SAMPLE_OBJECTS_H
#define WQX_BENCH_SAMPLE_OBJECTS_H

#include "device.h"
#include "objectlist.h"

class SampleList {
public:
    explicit SampleList(int n) {
        for (int i = 0; i < n; ++i) list_.add(make(i));
        list_.setMsgType(1);
        list_.setMsgSeq(5);
    }
    ~SampleList() { list_.deleteObjects(); }
    cObjectList& get() { return list_; }

private:
    static cObject* make(int i) {
        cObjectDevice* d = new cObjectDevice;
        d->setDeviceSerial(1000 + static_cast<unsigned>(i));
        d->setDeviceLabel("Pump house RTU");
        d->setDeviceOpState(cObject::OPSTATE_2);
        d->setDeviceStatus(cObject::STATUS_1);
        d->setDeviceType(cObjectDevice::DEVICE_TYPE_4);
        d->setDiscreteInCount(8);
        d->setDiscreteOutCount(4);
        d->setAnalogInCount(2);
        d->setAnalogOutCount(1);
        d->setVersion(3);
        return d;
    }
    cObjectList list_;
};

#endif
