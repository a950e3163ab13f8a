#include "SonabrixApp.h"

int main(int argc, char* argv[]) {
    SonabrixApp app(argc, argv);
    return app.exec();
}
