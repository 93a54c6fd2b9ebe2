// What the editor needs from the effect, whichever format hosts it: values by id, edits bracketed as the
// host expects them, meters, and idle work while a drag holds the user-interface thread. Each format
// implements it over the core and its own host notifications; the editor knows nothing else of the effect.
//
// Threads: the editor's own, the user-interface thread.
#pragma once

#include "core/ParameterLayout.h"

class EditInterface {
  public:
    virtual float value(ParameterId id) = 0;
    // A user's edit: beginEdit, any number of performEdit (each applies the value and tells the host), endEdit.
    virtual void beginEdit(ParameterId id) = 0;
    virtual void performEdit(ParameterId id, float value) = 0;
    virtual void endEdit(ParameterId id) = 0;
    // The latest published reading of meter slot 0..meterCount-1; 0.0 for another slot.
    virtual double meterValue(int slot) = 0;
    // Called about every 50 ms while a control's drag loop holds the user-interface thread, so hosts that
    // need it (VST 2.x) can be given their idle call. May destroy the editor: the caller checks.
    virtual void dragIdle() {}

  protected:
    ~EditInterface() = default;
};
