// The binding-core tests' types: the compact set generated from tests/api/native_kinds.svc, the
// all-features set from tests/api/sample.svc, and the library's own cpus types.
#pragma once

#include <tavo/test/native_kinds.h>
#include <tavo/test/sample.h>
#include <tavo/vm/compute/cpus.h>

namespace Kinds = Com::Korvan::Tavo::Test::NativeKindsSvc;
namespace Sample = Com::Korvan::Tavo::Test::SampleSvc;
namespace Cpus = Com::Korvan::Tavo::Vm::Compute::CpusSvc;
