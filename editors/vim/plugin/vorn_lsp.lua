-- Starts vorn-lsp for VORN scripts and lists in Neovim (0.7 and later; Vim skips this file).
-- The command is g:vorn_lsp_cmd (a list, default { 'vorn-lsp' }). One server runs for each
-- project folder: the nearest folder above the file that holds events.lst and command.lst.
-- g:vorn_warnings (a list such as { 'all', 'no-long-line' }, vorn-check's -W options without
-- the -W) is sent as the server's initializationOptions and its workspace settings.
if vim.fn.has('nvim-0.7') == 0 then
  return
end

local clients = {}  -- project folder -> client id (Neovim 0.7)

local function holds_lists(dir)
  return vim.fn.filereadable(dir .. '/events.lst') == 1 and vim.fn.filereadable(dir .. '/command.lst') == 1
end

local function project_folder(path)
  local dir = vim.fn.fnamemodify(path, ':p:h')
  local start = dir
  while true do
    if holds_lists(dir) then
      return dir
    end
    local parent = vim.fn.fnamemodify(dir, ':h')
    if parent == dir then
      return start
    end
    dir = parent
  end
end

local function on_attach(_, bufnr)
  vim.api.nvim_buf_set_option(bufnr, 'omnifunc', 'v:lua.vim.lsp.omnifunc')
end

local function attach(bufnr)
  local path = vim.api.nvim_buf_get_name(bufnr)
  if path == '' then
    return
  end
  local root = project_folder(path)
  local config = {
    name = 'vorn-lsp',
    cmd = vim.g.vorn_lsp_cmd or { 'vorn-lsp' },
    root_dir = root,
    on_attach = on_attach,
    init_options = { vorn = { warnings = vim.g.vorn_warnings or {} } },
    settings = { vorn = { warnings = vim.g.vorn_warnings or {} } },
  }
  if vim.lsp.start then
    vim.lsp.start(config, { bufnr = bufnr })
    return
  end
  local id = clients[root]
  if not id or not vim.lsp.get_client_by_id(id) then
    id = vim.lsp.start_client(config)
    clients[root] = id
  end
  if id then
    vim.lsp.buf_attach_client(bufnr, id)
  end
end

vim.api.nvim_create_autocmd('FileType', {
  pattern = { 'vorn', 'vornlist' },
  group = vim.api.nvim_create_augroup('vorn_lsp', { clear = true }),
  callback = function(args)
    attach(args.buf)
  end,
})
