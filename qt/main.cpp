#include "qt/ModuleSetupApp.h"

int main(int argc, char **argv)
{
    CModuleSetupApp theApp;
    return theApp.Run(argc, argv);
}
