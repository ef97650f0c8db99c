// The expression calculator the calculation thread and the setup dialog use: TCalcEx reads
// each distinct equation once into byte code, evaluates it in the context of the record being
// computed (variables from the value cache, attribute functions from the setup server), and
// remembers per group where the variables were found.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

#include "calc/CalcErrors.h"
#include "calc/Equation.h"
#include "util/FormatSettings.h"
#include "util/StringList.h"

namespace ov {

class TInputItem;
class TCalcGroupItem;
class TStationSensorDataCache;
class TOutputBuffer;
class ISetupQuery;

// The root calculator: a variable hook and an evaluation entry with default answers.
class TCalculator {
  public:
    virtual ~TCalculator() = default;
    // Reports no variable: false with value 0.
    virtual bool GetVariable(const std::string& name, double& value);
    // Evaluates nothing: answers x.
    virtual double Evaluate(const std::string& expression, double x);
};

// The null-value settings of the general setup that decide whether a missing variable
// yields NullValue instead of an error.
struct TNullValueSettings {
    bool UseNullValue = false;
    bool NullOnMissing = false;
    std::int32_t NullValue = 998877;
};

class TStationSensorDataItem;

// Calculate reads a group's equation the first time it meets the text and keeps the byte code
// for the calculator's life (at most MaxCompiledEquations texts: past that it starts afresh).
// Per group object it remembers the binding each variable name found and where the value cache
// keeps that station.sensor. The cache is checked at every call; so is the group (its equation,
// kind and bindings) unless the caller declared its groups fixed. Results, errors, look-ups and
// log lines are those of reading the text at every call.
class TCalcEx : public TCalculator {
  public:
    static constexpr std::size_t MaxCompiledEquations = 1u << 16;

    // Format settings of the calling thread's locale (the setup dialog's check).
    TCalcEx();
    // A copy of the given settings (the calculation thread passes its own locale's).
    explicit TCalcEx(const TFormatSettings& settings);
    ~TCalcEx() override;
    TCalcEx(const TCalcEx&) = delete;
    TCalcEx& operator=(const TCalcEx&) = delete;

    // The caller's promise that a group object passed to Calculate keeps its equation, kind
    // and bindings, and is not replaced by another at its address, while this calculator
    // lives (the calculation thread's own copies of the groups): Calculate then trusts what
    // it remembers of the object instead of comparing them at every call.
    void SetGroupsFixed(bool fixed) { groupsFixed_ = fixed; }

    // Lookup log lines are written only above level 4.
    void SetLogLevel(int level) { logLevel_ = level; }
    int LogLevel() const { return logLevel_; }

    // Where the attribute functions ask (null: no answers, every attribute is 0).
    void SetSetupQuery(ISetupQuery* setup) { setup_ = setup; }
    // Where lookup log lines go (null: nowhere).
    void SetOutput(TOutputBuffer* output) { output_ = output; }
    // TABLE and DBTABLE; the process-wide rating-table cache (in the general setup's table
    // folder) unless replaced.
    void SetTableLookup(std::function<double(const std::string& name, double x)> lookup) {
        tableLookup_ = std::move(lookup);
    }
    // The null-value settings, read at every failed variable; the process-wide general setup
    // unless replaced.
    void SetNullValueSource(std::function<TNullValueSettings()> source) {
        nullSource_ = std::move(source);
    }

    // Always fail: the calculator looks variables up only in a calculation's context.
    bool GetVariable(const std::string& name, double& value) override;
    double Evaluate(const std::string& expression, double x) override;

    // The value of an equation variable at the input item's time tag; true or raises 1603,
    // 1604, 1605.
    virtual bool LookupVariable(const std::string& name, const TInputItem& inputItem, double& value,
                                const TStationSensorDataCache& cache, const TCalcGroupItem& group);
    // LSTVAL: the same lookup with plain messages that the null value never replaces; x is
    // not used.
    virtual bool LookupLastValue(const std::string& name, const TInputItem& inputItem,
                                 double& value, const TStationSensorDataCache& cache,
                                 const TCalcGroupItem& group, double x);
    // Evaluates the group's equation in the context of the record; raises ECalcExException
    // (arithmetic faults and conversion errors carried over with their texts).
    virtual double Calculate(const TInputItem& inputItem, const TCalcGroupItem& group,
                             const TStationSensorDataCache& cache);
    // Clears names and adds the variables the equation uses; raises ECalcExException.
    virtual void GetVariables(const std::string& equation, TStringList& names);

    // An attribute of the variable's station or sensor from the setup server; 0 without an
    // answer. The cache is not used.
    double LookupAttribute(TAttributeKind kind, const std::string& name,
                           const TStationSensorDataCache& cache, const TCalcGroupItem& group,
                           const TInputItem& inputItem, double x);
    // TABLE(name, x): the table look-up's value (x without one).
    double TableValue(const std::string& name, double x);
    // The null-value settings as Calculate reads them after a variable without a value.
    TNullValueSettings NullValueSettings() const;

    const TFormatSettings& FormatSettings() const { return settings_; }
    // How many equation texts are held in compiled form.
    std::size_t CompiledEquations() const;

  private:
    struct TSlotPlan;
    struct TGroupPlan;
    struct TMemory;
    class TContext;

    void LogDetail(const std::string& text);
    TGroupPlan& PlanFor(const TCalcGroupItem& group);
    // A variable through what its slot remembers: the same checks, errors and log line as
    // LookupVariable.
    double PlannedVariable(TSlotPlan& slot, std::string_view name, const TInputItem& inputItem,
                           const TStationSensorDataCache& cache, const TCalcGroupItem& group);
    // The rest of a variable's look-up once its binding and cache item (null: none) are known.
    // position (if given) receives the position of the value among the item's.
    void FinishVariable(std::string_view name, std::string_view station, std::string_view sensor,
                        const TStationSensorDataItem* cached, const TInputItem& inputItem,
                        double& value, const TCalcGroupItem& group,
                        std::int32_t* position = nullptr);

    int logLevel_ = 0;
    bool groupsFixed_ = false;
    TFormatSettings settings_;
    ISetupQuery* setup_ = nullptr;
    TOutputBuffer* output_ = nullptr;
    std::function<double(const std::string&, double)> tableLookup_;
    std::function<TNullValueSettings()> nullSource_;
    std::unique_ptr<TMemory> memory_;  // compiled equations and group plans
};

// The table name in a rating-table file name: the text after the last "\", "/" or ":", with
// everything from its last "." removed (C:\TABLES\RIVER1.TBL -> RIVER1).
std::string TableNameOfFile(const std::string& fileName);

}  // namespace ov
