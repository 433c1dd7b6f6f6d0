// The exit statuses of hvp-run, named once: the single run, the fleet and
// the command line all answer one of these, and the help lists them. A
// monitoring check answers its state instead (see check.hpp).
#pragma once

namespace tarvorun {

enum EExitStatus {
    // Every request ran, whatever it logged.
    kExitOk = 0,
    // A GetData call ended with an exception.
    kExitException = 1,
    // With --expect: the run's records differ from the file's.
    kExitDiffers = 1,
    // Bad usage, or an inventory that could not be read, run or finished.
    kExitUsage = 2,
    // The plug-in could not be loaded, or it did not register.
    kExitNotLoaded = 3,
    // With --check: the state UNKNOWN, for a run that could not look at
    // everything and for bad usage alike.
    kExitCheckUnknown = 3,
};

}  // namespace tarvorun
