#pragma once

// Settings the embedded browser needs on this platform, before the application object exists.
void prepareBrowserEnvironment();
