#pragma once

#include <QString>

// The port and flow-control choice remembered between runs, in the user's Kestrel.ini,
// section [Settings].
class CPortSettings
{
public:
    // Reads the saved choice; an index outside the lists (negative ones included) becomes 0.
    static CPortSettings Load(int nPortCount);
    void Save() const;

    int m_nPortNum = 0;    // zero-based index in the port list
    int m_nFlow = 0;       // zero-based index in the flow list: 0 none, 1 hardware
    QString m_strPortName; // the chosen device path, empty when not to be kept; finds the device
                           // when the list reorders
};
