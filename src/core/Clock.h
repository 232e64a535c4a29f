#pragma once

// Every timer and wait of the station runs through one clock, so tests and the demo can run the
// real tick counts in scaled time. A scale of 1 keeps the specified durations.
class Clock
{
public:
    explicit Clock(double scale = 1.0) : m_scale(scale > 0 ? scale : 1.0) {}

    double scale() const { return m_scale; }

    // Real milliseconds for a nominal duration; never 0 so a timer never spins.
    int realMs(int nominalMs) const;

private:
    double m_scale = 1.0;
};
