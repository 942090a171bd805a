-- Neovim, headless, with the editor files of editors/vim: opens main.vs of the project that
-- test_neovim.py made, waits for vorn-lsp's diagnostics, and checks them (the shared file's
-- error on the include line of each of its two includers), a completion in a statement, a go
-- to definition onto a defvar of the included file, a completion there that offers a name only
-- its other includer defines, references and a rename of that defvar across both files, a
-- misspelt command whose did-you-mean Neovim's own float shows, the quick fix for it that
-- Neovim applies, formatting of the buffer in vorn-fmt's layout whatever 'shiftwidth' says,
-- and its semantic tokens; then lines typed after a label and a statement, and vorn-fmt
-- --check on both saved files. Exits 0 when all hold; otherwise prints what failed and exits 1.
local root = os.getenv('VORN_TEST_ROOT')
vim.opt.runtimepath:prepend(os.getenv('VORN_EDITORS') .. '/vim')
vim.g.vorn_lsp_cmd = { os.getenv('VORN_LSP') }

local failures = {}
local function check(ok, what)
  if not ok then
    table.insert(failures, what)
  end
end

local function request(bufnr, method, line, character, extra)
  local params = {
    textDocument = { uri = vim.uri_from_bufnr(bufnr) },
    position = { line = line, character = character },
  }
  for key, value in pairs(extra or {}) do
    params[key] = value
  end
  local replies = vim.lsp.buf_request_sync(bufnr, method, params, 5000) or {}
  for _, reply in pairs(replies) do
    if reply.result then
      return reply.result
    end
  end
  return nil
end

local function run()
  vim.cmd('edit ' .. root .. '/main.vs')
  local main = vim.api.nvim_get_current_buf()
  check(vim.bo[main].filetype == 'vorn', 'filetype is ' .. vim.bo[main].filetype)
  check(vim.bo[main].shiftwidth == 4 and vim.bo[main].expandtab, 'indentation settings of main.vs')
  local lib_path = root .. '/lib/doors.vs'
  local other_path = root .. '/other.vs'
  local function seen()
    local out = {}
    for _, d in ipairs(vim.diagnostic.get()) do
      table.insert(out, string.format('%s:%d:%d-%d %s', vim.api.nvim_buf_get_name(d.bufnr), d.lnum, d.col,
                                      d.end_col, d.message))
    end
    table.sort(out)
    return out
  end
  -- The shared file's error, and the include line of each includer, open or not.
  local function has(prefix)
    for _, line in ipairs(seen()) do
      if line:sub(1, #prefix) == prefix then
        return true
      end
    end
    return false
  end
  local want = {
    -- "é" before the error: the server counts UTF-16 units (15 to 19), which Neovim turns
    -- back into byte columns (16 to 20). Lines count from 0.
    lib_path .. ":1:16-20 Unknown argument 'Nope' (in the compile",
    root .. "/main.vs:0:8-21 In lib/doors.vs: Unknown argument 'Nope'",
    other_path .. ":1:8-21 In lib/doors.vs: Unknown argument 'Nope'",
  }
  local got = vim.wait(10000, function()
    return has(want[1]) and has(want[2]) and has(want[3])
  end, 20)
  check(got, 'diagnostics ' .. vim.inspect(seen()))

  local completion = request(main, 'textDocument/completion', 4, 5) or {}
  local labels = {}
  for _, item in ipairs(completion.items or completion) do
    labels[item.label] = item.detail
  end
  check(labels['Say'] == '1 argument' and labels['Stop'] == '0 arguments',
        'completion ' .. vim.inspect(labels))

  -- Wait(Doors) on line 4: Doors is a defvar of lib/doors.vs, line 1.
  local definition = request(main, 'textDocument/definition', 3, 10)
  if definition and definition[1] then
    definition = definition[1]
  end
  check(definition and vim.uri_to_fname(definition.uri) == lib_path
        and definition.range.start.line == 0 and definition.range.start.character == 7,
        'definition ' .. vim.inspect(definition))
  -- References of Doors: its defvar in lib/doors.vs and its use in main.vs.
  local refs = request(main, 'textDocument/references', 3, 10, { context = { includeDeclaration = true } }) or {}
  local where = {}
  for _, ref in ipairs(refs) do
    table.insert(where, string.format('%s:%d:%d', vim.uri_to_fname(ref.uri), ref.range.start.line,
                                      ref.range.start.character))
  end
  table.sort(where)
  check(vim.inspect(where) == vim.inspect({ lib_path .. ':0:7', root .. '/main.vs:3:9' }),
        'references ' .. vim.inspect(refs))
  -- And Neovim's own handler takes the cursor there.
  vim.api.nvim_win_set_cursor(0, { 4, 10 })
  vim.lsp.buf.definition()
  vim.wait(5000, function()
    return vim.api.nvim_buf_get_name(0) == lib_path
  end, 20)
  check(vim.api.nvim_buf_get_name(0) == lib_path, 'definition jumped to ' .. vim.api.nvim_buf_get_name(0))
  check(vim.inspect(vim.api.nvim_win_get_cursor(0)) == vim.inspect({ 1, 7 }),
        'cursor ' .. vim.inspect(vim.api.nvim_win_get_cursor(0)))
  -- A completion in the shared file offers Spare, which only other.vs defines, saying where.
  local shared = request(vim.api.nvim_get_current_buf(), 'textDocument/completion', 1, 15) or {}
  local names = {}
  for _, item in ipairs(shared.items or shared) do
    names[item.label] = item.detail
  end
  check(names['Spare'] == 'variable 2, defined in other.vs line 1', 'completion in lib/doors.vs ' .. vim.inspect(names))

  -- Rename it across both files, applied by Neovim's own code.
  local edit = request(main, 'textDocument/rename', 3, 10, { newName = 'Gates' })
  check(edit ~= nil, 'rename gave no edit')
  if edit then
    vim.lsp.util.apply_workspace_edit(edit, 'utf-16')
    local lib_buf = vim.fn.bufnr(lib_path)
    check(vim.api.nvim_buf_get_lines(main, 3, 4, false)[1] == '    Wait(Gates)',
          'main.vs after rename ' .. vim.inspect(vim.api.nvim_buf_get_lines(main, 0, -1, false)))
    check(lib_buf > 0 and vim.api.nvim_buf_get_lines(lib_buf, 0, 1, false)[1] == 'defvar Gates 4',
          'lib/doors.vs after rename')
  end

  -- A misspelt command typed into main.vs: its preferred quick fix, applied by Neovim's own
  -- code, puts the right name in the buffer, and the error goes.
  vim.api.nvim_set_current_buf(main)
  vim.api.nvim_buf_set_lines(main, 4, 5, false, { '    Sya("hi")' })
  local function unknown_command()
    for _, d in ipairs(vim.diagnostic.get(main)) do
      if d.message:find("Unknown command 'Sya'", 1, true) == 1 then
        return d
      end
    end
    return nil
  end
  check(vim.wait(10000, function() return unknown_command() ~= nil end, 20), 'no error for Sya within 10 s')
  -- What Neovim displays of it: its float shows the message, not the related information, so
  -- the did-you-mean must be in the message.
  vim.api.nvim_win_set_cursor(0, { 5, 5 })
  local float = vim.diagnostic.open_float({ scope = 'line' })
  local shown = float and table.concat(vim.api.nvim_buf_get_lines(float, 0, -1, false), '\n') or ''
  check(shown:find("Unknown command 'Sya'; did you mean 'Say'?", 1, true) ~= nil, 'float shows ' .. vim.inspect(shown))
  vim.cmd('silent! only')
  local replies = vim.lsp.buf_request_sync(main, 'textDocument/codeAction', {
    textDocument = { uri = vim.uri_from_bufnr(main) },
    range = { start = { line = 4, character = 5 }, ['end'] = { line = 4, character = 5 } },
    context = { diagnostics = vim.lsp.diagnostic.get_line_diagnostics(main, 4) },
  }, 5000) or {}
  local preferred, titles = nil, {}
  for _, reply in pairs(replies) do
    for _, action in ipairs(reply.result or {}) do
      table.insert(titles, action.title)
      if action.isPreferred then
        preferred = action
      end
    end
  end
  check(vim.inspect(titles) == vim.inspect({ "Replace 'Sya' with 'Say'", "Add 'Sya' to command.lst" }),
        'code actions ' .. vim.inspect(titles))
  check(preferred ~= nil, 'no preferred code action')
  if preferred then
    vim.lsp.util.apply_workspace_edit(preferred.edit, 'utf-16')
    check(vim.api.nvim_buf_get_lines(main, 4, 5, false)[1] == '    Say("hi")',
          'main.vs after the code action ' .. vim.inspect(vim.api.nvim_buf_get_lines(main, 0, -1, false)))
    check(vim.wait(10000, function() return unknown_command() == nil end, 20),
          'the error for Sya stayed after the code action')
  end

  -- Format the buffer with Neovim's own request and edits: vorn-fmt's four blanks whatever
  -- 'shiftwidth' and 'expandtab' say, the include line with its escape left as it is.
  vim.api.nvim_set_current_buf(main)
  vim.api.nvim_buf_set_lines(main, 2, 4, false, { '\tSay( "open" )', '      Wait(  Gates )   ' })
  vim.bo[main].shiftwidth = 2
  vim.bo[main].expandtab = true
  if vim.lsp.buf.format then
    vim.lsp.buf.format({ bufnr = main, timeout_ms = 5000 })
  else
    vim.lsp.buf.formatting_sync(nil, 5000)
  end
  local formatted = vim.api.nvim_buf_get_lines(main, 0, -1, false)
  check(vim.inspect(formatted) == vim.inspect({ 'include lib\\/doors.vs   ; the doors', 'OnStart:', '    Say("open")',
                                                '    Wait(Gates)', '    Say("hi")' }),
        'main.vs after formatting ' .. vim.inspect(formatted))

  -- Semantic tokens of the formatted buffer, read through Neovim's client with the legend the
  -- server announced: the command word and the included file's variable, where they now stand.
  local legend
  for _, client in pairs(vim.lsp.buf_get_clients(main)) do
    local provider = client.server_capabilities.semanticTokensProvider
    legend = provider and provider.legend
  end
  check(legend ~= nil, 'no semantic tokens legend in the server capabilities')
  local replies = vim.lsp.buf_request_sync(main, 'textDocument/semanticTokens/full',
    { textDocument = { uri = vim.uri_from_bufnr(main) } }, 5000) or {}
  local data
  for _, reply in pairs(replies) do
    data = reply.result and reply.result.data
  end
  local tokens = {}
  if legend and data then
    local line, col = 0, 0
    for i = 1, #data, 5 do
      if data[i] > 0 then
        line, col = line + data[i], 0
      end
      col = col + data[i + 1]
      table.insert(tokens, string.format('%d:%d:%d %s', line, col, data[i + 2], legend.tokenTypes[data[i + 3] + 1]))
    end
  end
  local function has_token(want)
    return vim.tbl_contains(tokens, want)
  end
  check(has_token('3:4:4 function') and has_token('3:9:5 variable') and has_token('1:0:7 event'),
        'semantic tokens ' .. vim.inspect(tokens))

  -- Lines typed into other.vs take the formatter's indentation: a statement after the label
  -- and after a statement, a label back at the left edge.
  vim.cmd('edit ' .. other_path)
  local other = vim.api.nvim_get_current_buf()
  vim.api.nvim_win_set_cursor(0, { 3, 0 })
  vim.cmd('normal! ' .. vim.api.nvim_replace_termcodes('oSay("x")<CR>Wait(1)<CR>OnStart:<CR>Stop()', true, false, true))
  local typed = vim.api.nvim_buf_get_lines(other, 0, -1, false)
  check(vim.inspect(typed) == vim.inspect({ 'defvar Spare 2', 'include lib\\/doors.vs', 'OnTouch:', '    Say("x")',
                                            '    Wait(1)', 'OnStart:', '    Stop()', '    Stop()' }),
        'other.vs as typed ' .. vim.inspect(typed))
  -- Both saved files are as vorn-fmt writes them.
  vim.cmd('silent wall')
  local out = vim.fn.system({ os.getenv('VORN_FMT'), '--check', root .. '/main.vs', other_path })
  check(vim.v.shell_error == 0, 'vorn-fmt --check: ' .. out)

  if #failures > 0 then
    io.stderr:write(table.concat(failures, '\n') .. '\n')
    vim.cmd('cquit 1')
  end
  vim.cmd('qall!')
end

vim.api.nvim_create_autocmd('VimEnter', {
  nested = true,
  callback = function()
    local ok, err = pcall(run)
    if not ok then
      io.stderr:write('error: ' .. tostring(err) .. '\n')
      vim.cmd('cquit 1')
    end
  end,
})
