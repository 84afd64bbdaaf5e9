#include "quenvar/app/simulator_state.h"

#include "quenvar/app/error_box.h"
#include "quenvar/app/main_form.h"
#include "quenvar/stack/programmer_stack.h"

namespace quenvar {

void KeepSimulatorState(TProgrammerStack& Stack, TMainForm& Form, TErrorBox& ErrorBox) {
  const auto save = [&Stack, &ErrorBox] {
    if (const TResult<void> saved = Stack.SaveSimulatorState(); !saved)
      ErrorBox.Show(saved.Error().FText);
  };
  Form.OnOperationEnded = save;
  QObject::connect(&Form, &TMainForm::Finished, &Form, save);
}

}  // namespace quenvar
