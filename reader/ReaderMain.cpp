// The reading program QuiraReader.
#include "reader/ReaderProgram.h"

int main(int argc, char** argv) {
    try {
        return RunReaderProgram(argc, argv);
    } catch (...) {
        return 1;
    }
}
