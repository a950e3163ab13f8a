#include "SonabrixApp.h"

int main(int argc, char* argv[]) {
    return SonabrixApp::run(argc, argv);
}
