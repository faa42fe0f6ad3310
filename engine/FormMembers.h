#pragma once

#include <cstdint>
#include <string>

// The form's values as the dialog exchanges them with its edits (GBK texts). They equal the
// controls only right after a reading or writing of the form.
struct CFormMembers
{
    std::string m_strName;
    std::string m_strClass;
    std::string m_strPassword;
    uint32_t m_nConnInterval = 0;
    uint32_t m_nConnDuration = 0;
    uint32_t m_nInqInterval = 0;
    uint32_t m_nInqDuration = 0;
    uint32_t m_nSniffMax = 0;
    uint32_t m_nSniffMin = 0;
    uint32_t m_nSniffTimeout = 0;
    uint32_t m_nSniffAttempt = 0;
    std::string m_strBindAddr;
    std::string m_strLocalAddr;
};
