#include "expr/formula_plan.h"

#include <algorithm>
#include <memory>
#include <string_view>
#include <vector>

#include "base/errors.h"
#include "base/small_array.h"
#include "base/thread_stack.h"
#include "expr/builtin_table.h"
#include "expr/builtins.h"
#include "expr/call_memo.h"
#include "expr/dispatch.h"
#include "expr/evaluator.h"
#include "expr/limits.h"
#include "expr/one_pass.h"
#include "expr/operand.h"
#include "expr/plan_detail.h"
#include "expr/plan_hooks.h"
#include "expr/translator.h"
#include "value/checks.h"
#include "value/literal_codec.h"

// Running: a plan computed on values, as the rewriting would compute its text.

namespace {

const alg_string kNoText;

// Whether `text` is "(" operand ")" with an operand that reads as a literal
// (as a plan's cell would take it), and its value.
bool literal_in_parentheses(const alg_string& text, alg_value& value) {
  const std::string_view bytes = text.view();
  if (bytes.size() < 3 || bytes.front() != '(' || bytes.back() != ')') return false;
  const std::string_view inner = bytes.substr(1, bytes.size() - 2);
  if (inner.find_first_of(std::string_view("()~,\0", 5)) != std::string_view::npos) return false;
  if (!is_whole_operand(inner)) return false;
  if (inner.size() >= 2 && inner.front() == '"' && inner.back() == '"') {
    value = alg_value::of_text(decode_literal(alg_string(inner.substr(1, inner.size() - 2))));
    return true;
  }
  if (inner.size() == 1 && (inner[0] == 'e' || inner[0] == 'E')) return false;
  return read_number(alg_string(inner), value);
}

// Runs a plan on values. What it owes the rewriting, so that the dispatcher
// may choose either (expr/dispatch.h):
// - the value the rewriting gives, or the error it raises, with the same
//   message, from the same step;
// - the same names looked up, functions called and random numbers drawn,
//   in the same order: operands are read when their operator needs them,
//   groups and calls finished as their ")" comes;
// - the same work counted towards the work limit and the same nesting
//   towards the nesting limits, as the rewriting counts them with its
//   one-pass readers on (a long group's length once, the conditional
//   reader's bytes in batches);
// - every intermediate result as writing its literal and reading it back
//   would make it, and within the same length limits;
// - where it cannot follow the text, the text exactly as the rewriting
//   would have it at that step, handed back as a value: each step that
//   can hand back returns false, the text in handback_, and each node
//   around it writes it into its own text on the way out.
class plan_runner {
 public:
  plan_runner(scope& s, plan_hooks& hooks, const formula_plan& plan, int expansion_depth,
              const slot_values* slots = nullptr)
      : s_(s),
        h_(hooks),
        plan_(plan),
        nodes_(plan.nodes()),
        states_(nodes_.size()),
        slots_(plan.slots().empty() ? nullptr : slots),
        expansion_depth_(expansion_depth) {}

  // A node's result: the value whose literal takes its place in the text,
  // what that literal reads back as, and its length.
  struct result {
    alg_value value;  // empty for a text, whose literal reads back as itself
    alg_value read;
    uint32_t length = 0;
    // The value whose literal takes the node's place.
    const alg_value& written() const { return read.is_text() ? read : value; }
  };

  // The whole text: its conditionals first, then its groups. The result is
  // the runner's own (the whole text is no other node's operand); nullptr
  // when the text was handed back (handed_back() holds it).
  result* run() {
    if (plan_.has_conditionals()) resolve_conditionals();
    result& r = states_[0].finished;
    return finish(0, r) ? &r : nullptr;
  }
  // The text handed back, as the rewriting would have it at that step.
  alg_string& handed_back() noexcept { return handback_; }

  // The length of the text once its conditionals are resolved.
  uint64_t resolved_length(uint32_t index) const {
    const node& n = nodes_[index];
    const uint32_t chosen = states_[index].chosen;
    if (chosen != 0) return 2 + resolved_length(n.children[chosen - 1]);
    uint64_t length = 0;
    uint32_t at = n.begin;
    for (const uint32_t child : n.children) {
      length += span_length(at, nodes_[child].begin) + resolved_length(child);
      at = nodes_[child].end;
    }
    return length + span_length(at, n.end);
  }

  // Every evaluation nested in a formula (a name's definition, a user
  // function) runs below the finish of each group around it: finish and
  // what stays on the stack across the nested evaluation write their
  // results in place and keep big or rare work in functions of its own.
  // False when the text is handed back.
  [[nodiscard]] bool finish(uint32_t index, result& out) {
    const formula_plan::node& n = nodes_[index];
    uint32_t group = index;
    if (states_[index].chosen != 0) {
      // A resolved conditional is the group of its chosen argument.
      group = n.children[states_[index].chosen - 1];
      if (!complete_children(group)) [[unlikely]] {
        wrap_in_parentheses(handback_);
        return false;
      }
    } else {
      if (!complete_children(index)) [[unlikely]]
        return false;
      if (n.k == formula_plan::node::kind::call) return finish_call(index, out);
    }
    std::vector<alg_string> texts;
    if (!prepare(group, index, texts)) [[unlikely]]
      return false;
    write_result(reduce(group, texts), out);
    s_.spend(out.length);
    return true;
  }

  [[gnu::noinline]] static void wrap_in_parentheses(alg_string& text) {
    text = alg_string("(") + text + ")";
  }

  // A call, once the groups and calls in its arguments are finished.
  [[gnu::noinline]] bool finish_call(uint32_t index, result& out) {
    const formula_plan::node& n = nodes_[index];
    const auto count = static_cast<uint32_t>(n.children.size());
    call_args args(count);
    if (!read_arguments(index, args)) [[unlikely]]
      return false;
    if (n.entry != nullptr && n.entry->draws) h_.note_effect();
    if (n.entry != nullptr) {
      finish_builtin(n, args, out);
      return true;
    }
    // The call depth is lowered only when the call returns normally.
    if (++s_.depths().calls > max_call_depth || ++s_.expansions() > max_user_function_expansions ||
        stack_running_low()) {
      throw z_x_stack_overflow(n.name);
    }
    if (expansion_depth_ < kMaxExpansionPlans) {
      const function_template* function = h_.local_function(n.name);
      if (function != nullptr && function->parameters.size() == count) {
        const template_call taken = expanded_from_template(*function, args, n.name, out);
        if (taken != template_call::not_taken) return taken == template_call::done;
      }
    }
    const alg_string expansion = s_.call_user_function(n.name, args, count);
    --s_.depths().calls;
    return finish_expansion(expansion, out);
  }

  // The arguments of the call, each reduced as a group and read with the
  // call's name, once the call's text (with the literals of what it holds)
  // is made.
  [[gnu::noinline]] bool read_arguments(uint32_t index, call_args& args) {
    const formula_plan::node& n = nodes_[index];
    small_array<std::vector<alg_string>, 4> texts(n.children.size());
    for (size_t k = 0; k < n.children.size(); ++k) {
      if (!prepare(n.children[k], index, texts[k])) [[unlikely]]
        return false;
    }
    uint64_t call_length = n.name.length() + n.children.size() + 1;
    for (size_t k = 0; k < n.children.size(); ++k) {
      call_length += content_length(n.children[k], texts[k]);
    }
    if (call_length > max_text_length) throw z_x_outofstringspace();
    for (uint32_t k = 1; k <= args.count(); ++k) {
      args[k] = literal_read_back(reduce(n.children[k - 1], texts[k - 1]));
    }
    return true;
  }

  [[gnu::noinline]] void finish_builtin(const formula_plan::node& n, const call_args& args,
                                        result& out) {
    alg_value value;
    run_builtin(*n.entry, n.name, args, args.count(), value);
    write_result(std::move(value), out);
    s_.spend(out.length);
  }

  // The call of `function` expanded in place from its template (the call
  // depth lowered again), unless an argument's literal holds a word a
  // later parameter would replace.
  enum class template_call { not_taken, done, handed_back };
  [[gnu::noinline]] template_call expanded_from_template(const function_template& function,
                                                         const call_args& args,
                                                         const alg_string& name, result& out) {
    const slot_values slots(args);
    if (!expanded_in_place(function, slots, name)) return template_call::not_taken;
    --s_.depths().calls;
    return expand_in_place(function, slots, args, args.count(), out) ? template_call::done
                                                                     : template_call::handed_back;
  }

  // What takes the place of a user function's call: its expansion, read
  // where the call stood.
  [[gnu::noinline]] bool finish_expansion(const alg_string& expansion, result& out) {
    // A function computed where it is defined comes back as its literal in
    // parentheses: one group of one operand.
    alg_value literal;
    if (literal_in_parentheses(expansion, literal)) {
      s_.spend(expansion.length());
      // A long operand is counted once more, as a long group is.
      const uint32_t content = expansion.length() - 2;
      if (content >= sweep_from_length) s_.spend(content);
      write_result(std::move(literal), out);
      s_.spend(out.length);
      return true;
    }
    // The expansion is read where the call stood, its conditionals resolved
    // first when it is balanced: when it is then one group the plan can
    // follow, its result takes the call's place.
    if (expansion_depth_ < kMaxExpansionPlans) {
      if (const auto inner = h_.expansion_plan(expansion)) {
        plan_runner expanded(s_, h_, *inner, expansion_depth_ + 1);
        if (inner->has_conditionals()) expanded.resolve_conditionals();
        s_.spend(expanded.resolved_length(0));
        if (expanded.finish(0, out)) return true;
        handback_ = std::move(expanded.handback_);
        return false;
      }
    }
    // Without a plan, it goes back to the rewriting as the rewriting's
    // one-pass reader leaves it where the call stood: that reader counts
    // its length there (and resolves its conditionals first), and reading
    // the text handed back from its start does not count it again.
    handback_ = expansion;
    if (s_.forms().groups_in_one_pass) (void)splice_expansion(s_, handback_);
    return false;
  }

  // The call of a template expanded in place, once its arguments are in
  // the slots: kept when it depended on nothing but its arguments, and
  // replayed from there when it is made again.
  [[nodiscard]] bool expand_in_place(const function_template& function, const slot_values& slots,
                                     const call_args& args, uint32_t count, result& r) {
    call_memo* memo = h_.memo();
    call_memo::outcome kept;
    if (memo != nullptr && memo->find(function.serial, expansion_depth_, args, count, kept)) {
      const nesting_depths& depths = s_.depths();
      // A replay that would pass a limit is not taken: the call itself
      // raises what it raises, where it raises it.
      if (depths.reductions + int64_t{kept.reductions} <= s_.nesting_limit() &&
          h_.work_spent() + kept.work <= static_cast<uint64_t>(max_work_per_call) &&
          s_.expansions() + kept.expansions <= max_user_function_expansions) {
        s_.spend(kept.work);
        s_.expansions() += kept.expansions;
        // As deep as the call went: a call kept around this one counts it.
        nesting_depths& reached = s_.depths();
        reached.peak = std::max(reached.peak, reached.reductions + kept.reductions);
        r.value = std::move(kept.value);
        r.read = std::move(kept.read);
        r.length = kept.length;
        return true;
      }
    }
    const uint64_t effects = h_.effects();
    const uint64_t work = h_.work_spent();
    const int64_t expansions = s_.expansions();
    int32_t level = 0;
    int32_t outer_peak = 0;
    {
      nesting_depths& depths = s_.depths();
      level = depths.reductions;
      outer_peak = depths.peak;
      depths.peak = level;
    }
    plan_runner expanded(s_, h_, *function.plan, expansion_depth_ + 1, &slots);
    if (function.plan->has_conditionals()) expanded.resolve_conditionals();
    s_.spend(expanded.resolved_length(0));
    if (!expanded.finish(0, r)) {
      handback_ = std::move(expanded.handback_);
      return false;
    }
    nesting_depths& depths = s_.depths();
    const int32_t inner_peak = depths.peak;
    if (outer_peak > depths.peak) depths.peak = outer_peak;
    if (memo != nullptr && h_.effects() == effects && depths.reductions == level) {
      kept.value = r.value;
      kept.read = r.read;
      kept.length = r.length;
      kept.work = h_.work_spent() - work;
      kept.reductions = inner_peak - level;
      kept.expansions = s_.expansions() - expansions;
      memo->keep(function.serial, expansion_depth_, args, count, kept);
    }
    return true;
  }

  // What expanding the function as text does before its text is read, all
  // labelled with the function's name. False, with nothing done, when an
  // argument's literal holds a word a later parameter would replace.
  bool expanded_in_place(const function_template& function, const slot_values& slots,
                         const alg_string& name) {
    if (!slots_fill_alone(function, slots)) return false;
    try {
      (void)template_expansion_length(s_, function, slots);
    } catch (...) {
      rethrow_with_context(name, true);
    }
    return true;
  }

  // Every conditional in reading order, then every choice, as the rewriting
  // resolves them before it computes any group; the bytes it reads count
  // towards the work limit as it counts them.
  void resolve_conditionals() {
    reader_count first(s_);
    bool underscore = false;
    walk(0, false, first, underscore);
    first.finish();
    // The choices are looked for only where an underscore is left.
    if (!underscore) return;
    reader_count second(s_);
    walk(0, true, second, underscore);
    second.finish();
  }

 private:
  using node = formula_plan::node;
  using cell = formula_plan::cell;

  // The reader's count of bytes read: counted towards the work limit each
  // time it reaches a batch, and what is left at the end.
  struct reader_count {
    static constexpr uint64_t batch = conditional_work_batch;
    scope& s;
    uint64_t read = 0;
    explicit reader_count(scope& to) : s(to) {}
    void bytes(uint64_t n) {
      while (n > 0) {
        const uint64_t until = read + 1 >= batch ? 1 : batch - read;
        if (n < until) {
          read += n;
          return;
        }
        s.spend(read + until);
        read = 0;
        n -= until;
      }
    }
    void add(uint64_t n) { read += n; }
    void finish() { s.spend(read); }
  };

  // Reads the node as the conditional reader would (`choices`: its second
  // pass), resolving what it meets; `underscore` learns whether an '_' is
  // left in what it writes.
  void walk(uint32_t index, bool choices, reader_count& count, bool& underscore) {
    const node& n = nodes_[index];
    if (states_[index].chosen != 0) {
      // Resolved in the first pass: read as "(" argument ")".
      count.bytes(1);
      walk(n.children[states_[index].chosen - 1], choices, count, underscore);
      count.bytes(1);
      return;
    }
    const bool resolves = n.k == node::kind::conditional || (choices && n.k == node::kind::choice);
    if (resolves) {
      // The name and "(" are read; the name is taken back out.
      const uint32_t open = nodes_[n.children[0]].begin - 1;
      count.bytes(span_length(n.begin, open + 1));
      count.add(n.children.size());
      states_[index].chosen = choose(index);
      count.bytes(1);
      walk(n.children[states_[index].chosen - 1], choices, count, underscore);
      count.bytes(1);
      return;
    }
    uint32_t at = n.begin;
    for (const uint32_t child : n.children) {
      count.bytes(span_length(at, nodes_[child].begin));
      if (span_has_underscore(at, nodes_[child].begin)) underscore = true;
      walk(child, choices, count, underscore);
      at = nodes_[child].end;
    }
    count.bytes(span_length(at, n.end));
    if (span_has_underscore(at, n.end)) underscore = true;
  }

  // The argument (1-based) a conditional or choice takes, its first
  // argument evaluated as the rewriting evaluates it.
  uint32_t choose(uint32_t index) {
    const node& n = nodes_[index];
    const bool conditional = n.k == node::kind::conditional;
    const alg_string& name = choice_name(conditional);
    const auto count = static_cast<uint32_t>(n.children.size());
    check_choice_count(conditional, count);
    alg_value selector;
    if (n.selector_holds_conditional) {
      // A choice's first argument after the conditionals in it are resolved.
      const alg_string text = alg_string("(") + written(n.children[0], kNone, {}) + ")";
      const auto plan = h_.text_plan(text);
      selector = evaluate_translated(s_, text, plan.get(), name, false);
    } else if (slots_ != nullptr) {
      // The first argument with the arguments' literals in it.
      const alg_string text = alg_string("(") + written(n.children[0], kNone, {}) + ")";
      selector = evaluate_translated(s_, text, n.selector_plan.get(), name, false, slots_);
    } else {
      selector = evaluate_translated(s_, n.selector, n.selector_plan.get(), name, false);
    }
    return chosen_argument(conditional, selector, count);
  }

  // The source bytes [a, b) as the text has them: with the arguments'
  // literals where parameters stand.
  uint64_t span_length(uint32_t a, uint32_t b) const {
    uint64_t length = b - a;
    if (slots_ == nullptr) return length;
    for (const formula_plan::slot& at : plan_.slots()) {
      if (at.at >= b) break;
      if (at.at >= a) {
        length = length - plan_.parameter_lengths()[at.parameter] + slots_->length(at.parameter);
      }
    }
    return length;
  }
  void append_span(alg_string& text, uint32_t a, uint32_t b) const {
    const std::string_view source = plan_.source().view();
    if (slots_ != nullptr) {
      for (const formula_plan::slot& at : plan_.slots()) {
        if (at.at >= b) break;
        if (at.at < a) continue;
        text += alg_string(source.substr(a, at.at - a));
        text += slots_->literal(at.parameter);
        a = at.at + plan_.parameter_lengths()[at.parameter];
      }
    }
    text += alg_string(source.substr(a, b - a));
  }
  // Whether an '_' stands in [a, b) outside the parameters (literals hold none).
  bool span_has_underscore(uint32_t a, uint32_t b) const {
    const std::string_view source = plan_.source().view();
    if (slots_ != nullptr) {
      for (const formula_plan::slot& at : plan_.slots()) {
        if (at.at >= b) break;
        if (at.at < a) continue;
        if (source.substr(a, at.at - a).find('_') != std::string_view::npos) return true;
        a = at.at + plan_.parameter_lengths()[at.parameter];
      }
    }
    return source.substr(a, b - a).find('_') != std::string_view::npos;
  }

  // The result whose literal the rewriting writes into the text.
  static void write_result(alg_value value, result& r) {
    if (value.is_text()) {
      r.read = literal_read_back(std::move(value), &r.length);
      r.value = alg_value();
    } else {
      r.read = literal_read_back(value, &r.length);
      r.value = std::move(value);
    }
    if (r.length > max_text_length) throw z_x_outofstringspace();
  }

  // The length of a group's or argument's content in the text.
  uint64_t content_length(uint32_t index, const std::vector<alg_string>& texts) const {
    const node& n = nodes_[index];
    uint64_t content = token_length * n.tokens.size();
    for (size_t c = 0; c < n.cells.size(); ++c) {
      content += cell_length(n.cells[c], texts.empty() ? kNoText : texts[c]);
    }
    return content;
  }

  uint64_t cell_length(const cell& operand, const alg_string& text) const {
    switch (operand.k) {
      case cell::kind::node:
        return states_[operand.node].finished.length;
      case cell::kind::slot:
        return slots_->length(operand.node);
      case cell::kind::composite:
        return text.length();
      default:
        return operand.length;
    }
  }

  // The groups and calls inside the node, left to right; an argument's are
  // those of the call it belongs to.
  [[nodiscard]] bool complete_children(uint32_t index) {
    for (const uint32_t child : nodes_[index].children) {
      if (nodes_[child].k == node::kind::argument) {
        if (!complete_children(child)) [[unlikely]]
          return handed_back_through(index, child);
      } else {
        if (!finish(child, states_[child].finished)) [[unlikely]] {
          return handed_back_through(index, child);
        }
        states_[child].done = 1;
      }
    }
    return true;
  }

  // The text handed back by `child`, written into the text of `index`.
  [[gnu::noinline]] bool handed_back_through(uint32_t index, uint32_t child) {
    handback_ = written(index, child, handback_);
    return false;
  }

  // The text of cells that are more than one node: each must stand whole
  // between its tokens, else the text as it stands goes back to the
  // rewriting (as the node `owner`).
  [[nodiscard]] bool prepare(uint32_t index, uint32_t owner, std::vector<alg_string>& texts) {
    const node& n = nodes_[index];
    if (!n.has_composite) return true;
    for (size_t c = 0; c < n.cells.size(); ++c) {
      if (n.cells[c].k != cell::kind::composite) continue;
      if (texts.empty()) texts.resize(n.cells.size());
      alg_string text;
      for (const auto& [bytes, child] : n.cells[c].pieces) {
        text += bytes;
        if (child >= 0) {
          text += literal_text(states_[static_cast<size_t>(child)].finished.written());
        } else if (child < -1) {
          text += slots_->literal(static_cast<uint32_t>(-2 - child));
        }
      }
      if (!is_whole_operand(text.view())) [[unlikely]] {
        handback_ = written(owner, kNone, {});
        return false;
      }
      texts[c] = std::move(text);
    }
    return true;
  }

  // What the operators of the group or argument come to. The rewriting
  // counts the content's length towards the work limit at every operator,
  // or once when the content is long; so does this.
  // The value of operand c of the node, read when an operator (`by`, or
  // nullptr for the group's last operand) needs it.
  alg_value operand_value(const node& n, uint32_t c, std::vector<alg_string>& texts,
                          const operator_token* by) {
    const auto context_of = [](const operator_token* t) {
      return t != nullptr ? token_shown(t->id) : alg_string();
    };
    const cell& operand = n.cells[c];
    switch (operand.k) {
      case cell::kind::literal:
        return operand.literal;
      // Read as no literal when the plan was made.
      case cell::kind::name:
        return signed_name_value(
            s_,
            operand.reserved ? operand.literal : s_.value_of_lowered(operand.name, operand.lowered),
            operand.text, operand.signs);
      // Each node is read once, by the operator next to it or as the
      // group's last operand.
      case cell::kind::node:
        return std::move(states_[operand.node].finished.read);
      case cell::kind::slot:
        return slots_->read(operand.node);
      case cell::kind::composite:
        return operand_to_value(s_, texts[c], context_of(by), false);
      case cell::kind::empty:
        break;
    }
    return operand_to_value(s_, alg_string(), context_of(by), false);
  }

  alg_value reduce(uint32_t index, std::vector<alg_string>& texts) {
    const node& n = nodes_[index];
    const size_t count = n.cells.size();
    const size_t tokens = n.tokens.size();
    if (tokens == 0 && count == 1) {
      // One operand and no operator: its value, with what its length counts.
      const uint64_t content = cell_length(n.cells[0], texts.empty() ? kNoText : texts[0]);
      if (content > max_text_length) throw z_x_outofstringspace();
      if (content >= sweep_from_length) s_.spend(content);
      return operand_value(n, 0, texts, nullptr);
    }
    small_array<reduce_slot, 4> cells(count);
    uint64_t content = token_length * tokens;
    for (uint32_t c = 0; c < count; ++c) {
      cells[c].length = cell_length(n.cells[c], texts.empty() ? kNoText : texts[c]);
      cells[c].next = c < tokens ? c : kNone;
      cells[c].left = c;
      content += cells[c].length;
    }
    if (content > max_text_length) throw z_x_outofstringspace();
    const bool sweep = content >= sweep_from_length;
    if (sweep) s_.spend(content);
    // `by`: the operator that reads the operand (nullptr for the group's
    // last one), whose shown form is the context of an error.
    auto read = [&](uint32_t c, const operator_token* by) -> alg_value {
      if (cells[c].computed) return std::move(cells[c].result);
      return operand_value(n, c, texts, by);
    };
    for (const uint32_t k : n.order) {
      if (!sweep) s_.spend(content);
      const operator_token& t = *n.tokens[k];
      const uint32_t l = cells[k].left;
      const uint32_t r = k + 1;
      alg_value a = t.takes_left ? read(l, &t) : alg_value();
      alg_value b = t.takes_right ? read(r, &t) : alg_value();
      const uint32_t written_length = apply_step(t, a, b, sweep, cells[l], cells[r]);
      cells[l].computed = true;
      content = content - cells[l].length - cells[r].length - token_length + written_length;
      // The short form writes every result into the content (a long one
      // keeps texts as values).
      if (!sweep && (written_length > max_text_length || content > max_text_length)) {
        throw z_x_outofstringspace();
      }
      cells[l].length = written_length;
      cells[l].next = cells[r].next;
      if (cells[l].next != kNone) cells[cells[l].next].left = l;
    }
    return read(0, nullptr);
  }

  // Per cell of a group being reduced: the read-back value of a result
  // standing there, its length in the text, and the token to its right;
  // per token (cell k for token k), the cell of its left operand (the right
  // one is always cell k + 1). Names read while a group is reduced nest
  // evaluations, so reduce keeps only a few cells inside.
  struct reduce_slot {
    alg_value result;
    uint64_t length = 0;
    uint32_t next = kNone;
    uint32_t left = 0;
    bool computed = false;
  };

  // Operator t applied to a and b, its result the left cell's; returns the
  // length of its literal.
  [[gnu::noinline]] uint32_t apply_step(const operator_token& t, alg_value& a, alg_value& b,
                                        bool sweep, reduce_slot& left, const reduce_slot& right) {
    if (sweep && t.id == operator_id::cat) {
      const alg_string& shown = token_shown(t.id);
      check_kind(a, "s", shown);
      check_kind(b, "s", shown);
      s_.spend(b.text().length());
    }
    uint32_t written_length = 0;
    double x = 0;
    if (a.is_number() && b.is_number() && plain_arithmetic(t.id, a.as_real(), b.as_real(), x)) {
      // What apply_operator gives, without the value in between.
      left.result = real_read_back(x, &written_length);
    } else if (t.id == operator_id::cat && a.is_text() && b.is_text()) {
      // Two texts joined: the literal is as long as both literals but one
      // pair of quotes, and an earlier result's literal length is known.
      const auto literal_length = [](const reduce_slot& c, const alg_value& v) -> uint64_t {
        return c.computed ? c.length : 2 + encoded_length(v.text().view());
      };
      const uint64_t joined = literal_length(left, a) + literal_length(right, b) - 2;
      left.result = alg_value::of_text(a.text() + b.text());
      written_length = static_cast<uint32_t>(joined);
    } else {
      left.result = literal_read_back(apply_operator(t, a, b), &written_length);
    }
    return written_length;
  }

  // The node's text now: its source with every finished node replaced by
  // its literal and `handed` (when given) by `handed_text`.
  alg_string written(uint32_t index, uint32_t handed, const alg_string& handed_text) const {
    const node& n = nodes_[index];
    if (states_[index].chosen != 0) {
      const uint32_t branch = n.children[states_[index].chosen - 1];
      return alg_string("(") +
             (branch == handed ? handed_text : written(branch, handed, handed_text)) + ")";
    }
    alg_string text;
    uint32_t at = n.begin;
    for (const uint32_t child : n.children) {
      append_span(text, at, nodes_[child].begin);
      if (child == handed) {
        text += handed_text;
      } else if (states_[child].done != 0) {
        text += literal_text(states_[child].finished.written());
      } else {
        text += written(child, kNone, {});
      }
      at = nodes_[child].end;
    }
    append_span(text, at, n.end);
    return text;
  }

  scope& s_;
  plan_hooks& h_;
  const formula_plan& plan_;
  const std::vector<node>& nodes_;
  // Per node. Evaluations nest through runners (a name's definition, a
  // user function), so a runner keeps few nodes inside it (a formula with
  // one call in it), the rest on the heap.
  struct node_state {
    result finished;
    uint32_t chosen = 0;  // a conditional's chosen argument (1-based; 0: not yet)
    uint8_t done = 0;
  };
  small_array<node_state, 3> states_;
  alg_string handback_;       // the text handed back, once a step returned false
  const slot_values* slots_;  // the arguments in the slots, when there are slots
  int expansion_depth_;
};

// What a constant text is evaluated in: no name, no user function; the
// work it counts is kept.
class folding_scope final : public scope, public plan_hooks {
 public:
  struct not_constant {};
  alg_value value_of(const alg_string&) override { throw not_constant{}; }
  alg_string call_user_function(const alg_string&, const call_args&, uint32_t) override {
    throw not_constant{};
  }
  nesting_depths& depths() override { return depths_; }
  int32_t nesting_limit() const override { return solve_nesting_limit; }
  int64_t& expansions() override { return expansions_; }
  void spend(uint64_t bytes) override { work += bytes; }
  uint64_t work = 0;

 private:
  nesting_depths depths_;
  int64_t expansions_ = 0;
};

}  // namespace

plan_run run_plan(scope& s, plan_hooks& hooks, const formula_plan& plan, const slot_values* slots) {
  plan_run out;
  plan_runner runner(s, hooks, plan, 0, slots);
  if (plan_runner::result* r = runner.run()) {
    out.value = std::move(r->value);
    out.read = std::move(r->read);
    out.length = r->length;
  } else {
    out.handed_back = true;
    out.text = std::move(runner.handed_back());
  }
  return out;
}

void fold_constant(formula_plan& plan) {
  if (plan.has_conditionals() || !plan.slots().empty()) return;
  for (const formula_plan::node& n : plan.nodes()) {
    if (n.k == formula_plan::node::kind::call && (n.entry == nullptr || n.entry->draws)) return;
    for (const formula_plan::cell& c : n.cells) {
      if (c.k == formula_plan::cell::kind::name || c.k == formula_plan::cell::kind::slot) return;
    }
  }
  folding_scope folding;
  try {
    plan_runner runner(folding, folding, plan, 0);
    plan_runner::result* r = runner.run();
    if (r == nullptr) return;  // handed back: computed when evaluated
    plan.constant_value_ = r->written();
    plan.constant_read_ = std::move(r->read);
    plan.constant_work_ = folding.work;
    plan.constant_ = true;
  } catch (...) {
    // Raises an error: computed when evaluated.
  }
}
