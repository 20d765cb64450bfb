// A mock cpus implementation, for binding it in the runtime tests.
#pragma once

#include <memory>
#include <string>

#include <gmock/gmock.h>

#include <tavo/vm/compute/cpus.h>

#include <quil/core/activation.h>

namespace Quil::ProviderTesting {

namespace CpusSvc = ::Com::Korvan::Tavo::Vm::Compute::CpusSvc;

class MockCpusService : public CpusSvc::AsyncServiceInterface {
 public:
  MOCK_METHOD(void, Get,
              (const std::string& vm, std::shared_ptr<Core::AsyncActivation> activation,
               const CpusSvc::GetMethod::ResultCbType& result),
              (override));
  MOCK_METHOD(void, Update,
              (const std::string& vm, std::shared_ptr<const CpusSvc::UpdateSpec> updateSpec,
               std::shared_ptr<Core::AsyncActivation> activation,
               const CpusSvc::UpdateMethod::ResultCbType& result),
              (override));
};

}  // namespace Quil::ProviderTesting
