// IsFIOActive: the setup must not disturb the product's first-run integration step while it runs.
#include "frame/action_frame.h"
#include "versions/global_names.h"

TWG_ACTION UINT __stdcall IsFIOActive(MSIHANDLE session) {
  return twg::RunAction("IsFIOActive", [&] {
    twg::FreIntegSignals signals;
    twg::SetProperty(session, "FIOActive", signals.IntegrationRunning() ? "1" : "0");
    return ERROR_SUCCESS;
  }, ERROR_SUCCESS);
}
