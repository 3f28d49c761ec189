#pragma once

#include "core/base/date_time.h"

namespace kalmora {

// The local calendar date and time now.
class Clock {
public:
    virtual ~Clock() = default;
    virtual DateTime now() const = 0;
};

class SystemClock final : public Clock {
public:
    DateTime now() const override;
};

} // namespace kalmora
