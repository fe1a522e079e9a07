// The controllers the simulation offers when no file is named: one heat unit and one gas unit that
// warm up and gas up from ambient after start, so that every channel shows the whole course from
// red through yellow to green.
#pragma once

#include "simulationconfig.h"

namespace zdx::usb {

class DemoSimulation
{
public:
    static SimulationConfig config();
};

} // namespace zdx::usb
