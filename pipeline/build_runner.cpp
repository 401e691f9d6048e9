// PLACEHOLDER: replaced by the real implementation
#include "pipeline/build_runner.h"
#include "launcher/screen_flow.h"
std::shared_ptr<BuildJob> current_build;
HANDLE build_job_object = nullptr;
void start_build() { current_build = std::make_shared<BuildJob>(); current_screen = Build; }
void run_build_script(const std::shared_ptr<BuildJob>&) {}
void fail_build(BuildJob&, const std::string&) {}
std::wstring build_command_line() { return {}; }
