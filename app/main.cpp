#include "startup.h"

int main(int argc, char *argv[])
{
    return tolka::run(argc, argv);
}
