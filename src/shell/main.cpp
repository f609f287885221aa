// Entry point of the wordpop executable.
#include "shell/Application.h"

int main(int argc, char **argv)
{
    return WordpopMain(argc, argv);
}
