#pragma once

class Updater;

// Holds the app's one updater for the whole run. Created on first use, exactly once even when
// two threads get there together, and never released.
class UpdaterController {
public:
    static UpdaterController& shared();

    Updater& controller() { return *controller_; }

    UpdaterController(const UpdaterController&) = delete;
    UpdaterController& operator=(const UpdaterController&) = delete;

private:
    UpdaterController();
    ~UpdaterController() = default;

    Updater* controller_;
};
