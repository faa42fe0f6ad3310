#pragma once

#include <cstdint>

// What the engine needs of a serial line: whether it can carry a command, a write of one, and its
// rate. The serial link is one; tests put a scripted line of their own in its place.
class ISerialLine
{
public:
    virtual ~ISerialLine() = default;

    virtual bool IsOpen() const = 0;
    // The count written; nobody waits on it (a command that did not go out times out).
    virtual uint32_t Write(const void *pData, uint32_t nLength) = 0;
    virtual uint32_t LineRate() const = 0;
    // Sets the open line to another rate, dropping what was received and not yet read.
    virtual bool SetLineRate(uint32_t nRate) = 0;
};
