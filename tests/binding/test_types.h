// The binding-core tests' types: the compact set generated from tests/api/native_kinds.svc and
// the library's own cpus types.
#pragma once

#include <tavo/test/native_kinds.h>
#include <tavo/vm/compute/cpus.h>

namespace Kinds = Com::Korvan::Tavo::Test::NativeKindsSvc;
namespace Cpus = Com::Korvan::Tavo::Vm::Compute::CpusSvc;
