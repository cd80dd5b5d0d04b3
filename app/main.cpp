// norvane: the Norvane NetMonitor desktop program.
#include "app/application.h"

int main(int argc, char** argv) {
    norvane::CTessalyApp app(argc, argv);
    return app.Run();
}
