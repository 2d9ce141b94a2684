// The simulated machine the demo program runs on.
#pragma once

// Builds the machine (from the file named by VESK_SIM_SCENARIO, else the
// built-in one) and installs it into Os, on the NT family, with real time,
// real message boxes and the drives' own delays. Called once, before the
// drive-access object asks its first question.
void DemoInstall();
