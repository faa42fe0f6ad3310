#pragma once

#include "win32/Win32Api.h"

#include <optional>
#include <string>
#include <string_view>

// Text at the Windows boundary: controls hold UTF-16; the module's texts are GBK (code page
// 936) and the engine's status and message texts UTF-8.
std::wstring WideFromUtf8(std::string_view strUtf8);
std::wstring WideFromGbk(std::string_view strGbk);
// The GBK bytes of a text, or nothing when it holds a character GBK cannot carry.
std::optional<std::string> GbkFromWide(std::wstring_view strWide);
std::string Utf8FromWide(std::wstring_view strWide);

std::wstring WindowTextOf(HWND hwnd);
std::wstring LoadResourceString(HINSTANCE hInstance, UINT nId);
