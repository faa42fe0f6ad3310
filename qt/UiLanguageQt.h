#pragma once

#include "engine/UiText.h"

#include <string>

class CProfile;

// The profile's key that chooses the language ("zh_CN" or "en"), section [Settings].
inline constexpr char kLanguageSection[] = "Settings";
inline constexpr char kLanguageKey[] = "Language";

// The language this user gets: the profile's choice, else the environment's.
EUiLanguage ChooseProfileUiLanguage(CProfile &profile);

// Makes every text from here on follow eLanguage: the engine's compiled catalogue, the window's
// translations and Qt's own (standard buttons, file dialogs). Widgets made before keep their texts.
void ApplyUiLanguage(EUiLanguage eLanguage);
