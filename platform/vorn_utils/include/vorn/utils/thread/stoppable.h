// VnStoppable: something that runs until asked to stop. pleaseStop() only asks: it returns at once and
// may be called from any thread, more than once.
#pragma once

class VnStoppable
{
public:
    virtual ~VnStoppable() = default;
    virtual void pleaseStop() = 0;
};
