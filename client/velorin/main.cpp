// velorin: the desktop client's executable. It holds no client logic: it hands its arguments to the
// desktop client library and returns what the library returns.
#include <QtCore/QtGlobal>

#include <vorn/build_info.h>
#include <vorn/vms/client/desktop/run_application.h>

int main(int argc, char** argv)
{
    // Qt Quick's threaded render loop misbehaves on macOS: the client gets the basic one there, before
    // anything of it starts. Elsewhere the environment is left as inherited.
    if (vorn::build_info::isMacOsX())
        qputenv("QSG_RENDER_LOOP", "basic");
    return vorn::vms::client::desktop::runApplication(argc, argv);
}
