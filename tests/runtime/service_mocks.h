// Mock implementations of generated service interfaces, for binding them in the runtime tests.
#pragma once

#include <memory>
#include <string>

#include <gmock/gmock.h>

#include <tavo/test/hand.h>
#include <tavo/vm/compute/cpus.h>

#include <quil/core/activation.h>
#include <quil/types.h>

namespace Quil::ProviderTesting {

namespace CpusSvc = ::Com::Korvan::Tavo::Vm::Compute::CpusSvc;
namespace HandSvc = ::Com::Korvan::Tavo::Test::HandSvc;

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

class MockHandService : public HandSvc::AsyncServiceInterface {
 public:
  MOCK_METHOD(void, Do,
              (const std::string& vm, std::shared_ptr<const HandSvc::Choice> choice,
               const OptionalPtr<const HandSvc::Leaf>& filter,
               std::shared_ptr<Core::AsyncActivation> activation,
               const HandSvc::DoMethod::ResultCbType& result),
              (override));
};

}  // namespace Quil::ProviderTesting
