// Renders each view and the settings dialog into PNG files, for the project's
// screenshots (QMScaleService --screenshots DIR).
#pragma once

// Returns the process exit code.
int RunScreenshots(const char* folder);
