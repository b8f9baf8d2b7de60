#include "app/startup.h"

int main(int argc, char** argv) {
    return velmora::app::runProgram(argc, argv);
}
