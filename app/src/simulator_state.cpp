#include "quenvar/app/simulator_state.h"

#include "quenvar/app/error_box.h"
#include "quenvar/app/main_form.h"
#include "quenvar/stack/programmer_stack.h"

namespace quenvar {

void KeepSimulatorState(TProgrammerStack& stack, TMainForm& form, TErrorBox& errorBox) {
  const auto save = [&stack, &errorBox] {
    if (const TResult<void> saved = stack.SaveSimulatorState(); !saved)
      errorBox.Show(saved.Error().FText);
  };
  form.FOnOperationEnded = save;
  QObject::connect(&form, &TMainForm::Finished, &form, save);
}

}  // namespace quenvar
