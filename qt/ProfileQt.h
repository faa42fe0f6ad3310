#pragma once

#include "serial/PortSettings.h"

#include <QSettings>

// The profile as QSettings keeps it: the user's Kestrel.ini under the configuration folder
// (~/.config/Kestrel/Kestrel.ini). One object reads the file once and writes it on Flush or when
// it goes.
class CProfileQt : public CProfile
{
public:
    CProfileQt();

    std::optional<std::string> ReadString(const std::string &strSection,
                                          const std::string &strKey) override;
    void WriteString(const std::string &strSection, const std::string &strKey,
                     const std::string &strValue) override;
    void Remove(const std::string &strSection, const std::string &strKey) override;
    void Flush() override;

private:
    QSettings m_settings;
};
