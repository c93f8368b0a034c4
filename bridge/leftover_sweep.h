#pragma once
#include <string>

// Deletes the temporary capture, chart picture and COT files (see leftover_temporaries.h)
// whose writer no longer runs, and logs how many it removed and how many it could not.
void SweepLeftoverTemporaries(const std::wstring& bridgeFolder);
