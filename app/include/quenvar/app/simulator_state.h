#pragma once

// The window saves the simulated chips after every operation and once it has
// closed, as the command line does after its run, so the two can take turns
// on one simulated chip. A failed save shows in the error box.

namespace quenvar {

class TErrorBox;
class TMainForm;
class TProgrammerStack;

void KeepSimulatorState(TProgrammerStack& stack, TMainForm& form, TErrorBox& errorBox);

}  // namespace quenvar
