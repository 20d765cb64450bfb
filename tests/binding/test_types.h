// The binding-core tests' types: the compact set generated from tests/api/hand.svc, the
// all-features set from tests/api/sample.svc, and the library's own cpus types.
#pragma once

#include <tavo/test/hand.h>
#include <tavo/test/sample.h>
#include <tavo/vm/compute/cpus.h>

namespace Hand = Com::Korvan::Tavo::Test::HandSvc;
namespace Sample = Com::Korvan::Tavo::Test::SampleSvc;
namespace Cpus = Com::Korvan::Tavo::Vm::Compute::CpusSvc;
