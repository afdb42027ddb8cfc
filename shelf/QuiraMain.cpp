#include "shelf/ProgramBlock.h"

int main(int argc, char** argv) {
    return RunQuira(argc, argv);
}
