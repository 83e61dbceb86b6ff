// The fleet page: one row per shop from the retained states on sonaris/<loja>/estado, the last
// day's account from sonaris/<loja>/resumo, and, per shop, the settings the office wants for it
// (sonaris/<loja>/config/desejada, retained) against what the shop did with them
// (sonaris/<loja>/config/aplicada, retained). A shop opened in the side panel shows its history
// lines from then on, and can be sent new settings, alone or with every shop the filter shows.
//
// The office's user and password are asked for at each visit and kept only in this page's
// memory, for the client's reconnections: never in its files, its address or the browser's
// storage.
'use strict';

const TEXTO = {
  silencio: 'Silêncio',
  saida_perdida: 'Saída de áudio perdida',
  offline: 'Sem conexão',
  conectando: 'Conectando',
  local: 'Músicas locais',
  stream: 'Streaming',
  fora_do_horario: 'Fora do horário',
  desativado: 'Desativado',
};
// The ones to look at first come first.
const ORDEM = ['silencio', 'saida_perdida', 'offline', 'conectando', 'local', 'stream', 'fora_do_horario', 'desativado'];
const DIAS = ['Domingo', 'Segunda', 'Terça', 'Quarta', 'Quinta', 'Sexta', 'Sábado'];
// A wall screen left open for weeks keeps this many lines of the open shop, and none of the others.
const LINHAS_DO_HISTORICO = 500;

// id -> { estado, resumo, desejada, aplicada }: four small objects a shop, whatever its history.
const lojas = new Map();
let escolhida = null;
let historico = [];
let cliente = null;
let usuario = '';
let assinado = false;  // the broker has taken the fleet's subscriptions: versions can be counted

const $ = (id) => document.getElementById(id);

function loja(id) {
  if (!lojas.has(id)) lojas.set(id, { estado: null, resumo: null, desejada: null, aplicada: null });
  return lojas.get(id);
}

function situacao(l) {
  if (!l.estado || !l.estado.online) return 'offline';
  return ORDEM.includes(l.estado.agora) ? l.estado.agora : 'offline';
}

function hora(iso) {
  if (!iso) return '-';
  const d = new Date(iso);
  return isNaN(d) ? iso : d.toLocaleString('pt-BR');
}

const versao = (v) => (Number.isSafeInteger(v) && v > 0 ? v : 0);

// The office's wish against the shop's answer. The shop answers each version it looks at, so an
// answer older than the wish means it has not been back since.
function configuracao(l) {
  const quer = l.desejada ? versao(l.desejada.versao) : 0;
  const a = l.aplicada;
  if (quer && (!a || versao(a.versao) < quer)) return { tipo: 'pendente', texto: 'pendente' };
  if (!a) return { tipo: '', texto: '-' };
  if (a.resultado === 'aplicada') {
    // The spot files the shop has not received yet (it keeps trying and answers again).
    const faltando = Array.isArray(a.faltando) ? a.faltando.filter((f) => typeof f === 'string') : [];
    return { tipo: 'aplicada', texto: faltando.length ? 'aplicada, faltando: ' + faltando.join(', ') : 'aplicada' };
  }
  return { tipo: 'recusada', texto: 'recusada: ' + (a.motivo || '') };
}

// A shop takes only a version greater than every one it applied or refused, and the retained
// wish may be newer than its answer: the next one is past all of them.
function proximaVersao(l) {
  return Math.max(versao(l.desejada && l.desejada.versao), versao(l.aplicada && l.aplicada.versao),
    versao(l.estado && l.estado.config_versao)) + 1;
}

function versoes(l) {
  const d = l.desejada ? versao(l.desejada.versao) : 0;
  const a = l.aplicada ? versao(l.aplicada.versao) : 0;
  return 'desejada ' + (d || '-') + ' · respondida ' + (a || '-');
}

function celula(tr, texto, classe) {
  const td = document.createElement('td');
  if (classe) {
    const s = document.createElement('span');
    s.className = classe;
    s.textContent = texto;
    td.appendChild(s);
  } else {
    td.textContent = texto;
  }
  tr.appendChild(td);
  return td;
}

function filtradas() {
  const filtro = $('filtro').value.trim().toLowerCase();
  const ids = [];
  for (const [id, l] of lojas) if (l.estado && (!filtro || id.toLowerCase().includes(filtro))) ids.push(id);
  return ids;
}

// The shop's next spot and the spots it did not play today.
function spots(estado) {
  if (!estado.online) return '-';
  const proximo = estado.proximo_spot ? hora(estado.proximo_spot.hora) + ' ' + estado.proximo_spot.arquivo : '-';
  const perdidos = estado.spots_nao_tocados ? ' (' + estado.spots_nao_tocados + ' não tocados)' : '';
  return proximo + perdidos;
}

function desenha() {
  const filtro = $('filtro').value.trim().toLowerCase();
  const corpo = $('lojas');
  const contagem = new Map(ORDEM.map((s) => [s, 0]));
  const porConfig = { pendente: 0, aplicada: 0, recusada: 0 };
  const linhas = [];
  for (const [id, l] of lojas) {
    if (!l.estado) continue;
    const s = situacao(l);
    contagem.set(s, contagem.get(s) + 1);
    const c = configuracao(l);
    if (c.tipo) porConfig[c.tipo]++;
    if (filtro && !id.toLowerCase().includes(filtro)) continue;
    linhas.push([id, l, s, c]);
  }
  linhas.sort((a, b) => ORDEM.indexOf(a[2]) - ORDEM.indexOf(b[2]) || a[0].localeCompare(b[0]));
  const novas = [];
  for (const [id, l, s, c] of linhas) {
    const tr = document.createElement('tr');
    tr.dataset.loja = id;
    tr.dataset.estado = s;
    tr.dataset.config = c.tipo;
    if (id === escolhida) tr.className = 'escolhida';
    celula(tr, id);
    celula(tr, TEXTO[s], 'estado ' + s);
    celula(tr, l.estado.online ? hora(l.estado.desde) : '-');
    celula(tr, l.estado.online ? hora(l.estado.ultima_queda) : '-');
    const td = celula(tr, c.texto, c.tipo ? 'config ' + c.tipo : '');
    td.title = versoes(l);
    celula(tr, spots(l.estado));
    celula(tr, l.resumo ? l.resumo.data + ' ' + l.resumo.linha : '-');
    novas.push(tr);
  }
  corpo.replaceChildren(...novas);
  const contagens = $('contagens');
  contagens.replaceChildren(...ORDEM.map((s) => {
    const span = document.createElement('span');
    span.className = s;
    span.dataset.estado = s;
    span.textContent = TEXTO[s] + ': ' + contagem.get(s);
    return span;
  }));
  $('configuracoes').replaceChildren(...Object.entries(porConfig).map(([tipo, n]) => {
    const span = document.createElement('span');
    span.className = 'config ' + tipo;
    span.dataset.config = tipo;
    span.textContent = 'Configuração ' + tipo + ': ' + n;
    return span;
  }));
  $('aplicar-filtradas').textContent = 'Aplicar às ' + linhas.length + ' lojas filtradas';
  $('aplicar-filtradas').disabled = !assinado || linhas.length === 0;
  $('aplicar-loja').disabled = !assinado;
  if (escolhida) $('loja-versoes').textContent = configuracao(loja(escolhida)).texto + ' (' + versoes(loja(escolhida)) + ')';
}

// Thousands of shops send at once: changes are drawn together, one drawing per frame at most.
// A drawing of every row takes a tenth of a second with 5,000 shops, and as long again to lay
// out; drawn at every frame, the page fell a minute behind the broker (bench/fleet). So the
// next drawing waits five times as long as the last one took.
let pendente = false;
let fimDoUltimo = 0, duracaoDoUltimo = 0;
function depois() {
  if (pendente) return;
  pendente = true;
  const espera = Math.min(2000, Math.max(0, fimDoUltimo + 5 * duracaoDoUltimo - performance.now()));
  setTimeout(() => requestAnimationFrame(() => {
    pendente = false;
    const inicio = performance.now();
    desenha();
    fimDoUltimo = performance.now();
    duracaoDoUltimo = fimDoUltimo - inicio;
  }), espera);
}

// --- The shop's panel ---------------------------------------------------------------------

function montaSemana() {
  const corpo = $('semana');
  DIAS.forEach((nome, i) => {
    const tr = document.createElement('tr');
    const dia = document.createElement('th');
    dia.textContent = nome;
    tr.appendChild(dia);
    for (const campo of ['inicio', 'fim']) {
      const td = document.createElement('td');
      const input = document.createElement('input');
      input.id = campo + '-' + i;
      input.size = 8;
      input.maxLength = 8;
      input.placeholder = 'HH:MM:SS';
      input.setAttribute('aria-label', nome + ' - ' + (campo === 'inicio' ? 'início' : 'fim'));
      td.appendChild(input);
      tr.appendChild(td);
    }
    corpo.appendChild(tr);
  });
}

function historicoAssina(id, assina) {
  if (!cliente || !cliente.connected) return;
  const topico = 'sonaris/' + id + '/historico';
  if (assina) cliente.subscribe(topico, { qos: QOS_DA_PAGINA });
  else cliente.unsubscribe(topico);
}

function desenhaHistorico() {
  $('historico-linhas').textContent = historico.join('\n');
}

// The form starts from the last settings the office sent this shop; what is not known of it is
// left empty and unticked, so that nothing unknown is sent back by accident.
function preenche(id) {
  const l = loja(id);
  const d = l.desejada || {};
  const e = l.estado || {};
  for (const chave of ['horarios', 'estacao', 'volume', 'nivelar', 'ativado']) $('alterar-' + chave).checked = false;
  const semana = Array.isArray(d.horarios) && d.horarios.length === 7 ? d.horarios : null;
  const hoje = new Date().getDay();
  for (let i = 0; i < 7; i++) {
    let dia = semana ? semana[i] : null;
    // Of a week never sent, the shop's state tells today's window only.
    if (!semana && i === hoje && e.inicio && e.fim) dia = { inicio: e.inicio, fim: e.fim };
    $('inicio-' + i).value = dia && dia.inicio ? dia.inicio : '';
    $('fim-' + i).value = dia && dia.fim ? dia.fim : '';
  }
  const aviso = $('semana-aviso');
  aviso.hidden = !!semana;
  aviso.textContent = 'A semana desta loja não foi enviada por esta página: só o dia de hoje é conhecido. ' +
    'Os dias deixados vazios ficarão sem horário.';
  const estacao = 'estacao' in d ? d.estacao : (e.estacao ? { url: e.estacao, nome: '' } : undefined);
  $('estacao-padrao').checked = estacao === null;
  $('estacao-url').value = estacao ? estacao.url || '' : '';
  $('estacao-nome').value = estacao ? estacao.nome || '' : '';
  $('volume').value = Number.isInteger(d.volume) ? d.volume : '';
  $('nivelar').checked = d.nivelar === true;
  const ativado = typeof d.ativado === 'boolean' ? d.ativado : e.ativado !== false;
  $('ativado').value = ativado ? '1' : '0';
  $('motivo').value = '';
  $('mensagem').textContent = '';
}

function abre(id) {
  if (escolhida === id) return;
  if (escolhida) historicoAssina(escolhida, false);
  escolhida = id;
  historico = [];
  desenhaHistorico();
  $('loja').hidden = false;
  document.body.classList.add('com-painel');
  $('loja-titulo').textContent = id;
  $('historico-titulo').textContent = 'Histórico de ' + id + ' (desde que foi aberta)';
  preenche(id);
  historicoAssina(id, true);
  desenha();
}

function fecha() {
  if (!escolhida) return;
  historicoAssina(escolhida, false);
  escolhida = null;
  historico = [];
  desenhaHistorico();
  $('loja').hidden = true;
  document.body.classList.remove('com-painel');
  desenha();
}

// --- Checking what the office enters --------------------------------------------------------

// The shop's files are in code page 1252, one setting a line: a text must fit one line of it.
const ALEM_DO_LATIN1 = '€‚ƒ„…†‡ˆ‰Š‹ŒŽ‘’“”•–—˜™š›œžŸ';
function textoDeLinha(texto, maximo) {
  if (texto.length > maximo) return false;
  for (const ch of texto) {
    const c = ch.codePointAt(0);
    if (c < 32 || c === 127) return false;
    if (c < 127 || (c >= 0xa0 && c <= 0xff) || ALEM_DO_LATIN1.includes(ch)) continue;
    return false;
  }
  return true;
}

// "8:00" and "08:00" are taken as 08:00:00; anything else must be HH:MM:SS.
function leHora(texto) {
  const m = /^(\d{1,2}):(\d{2})(?::(\d{2}))?$/.exec(texto.trim());
  if (!m) return null;
  const [h, min, s] = [Number(m[1]), Number(m[2]), Number(m[3] || 0)];
  if (h > 23 || min > 59 || s > 59) return null;
  const dois = (n) => String(n).padStart(2, '0');
  return dois(h) + ':' + dois(min) + ':' + dois(s);
}

// The schedule editor's rules, day by day: both times zero is no window set, equal times no
// time to play, an earlier stop a night, confirmed by whoever enters it.
function leSemana(erros, noites) {
  const semana = [];
  for (let i = 0; i < 7; i++) {
    const ini = $('inicio-' + i).value, fim = $('fim-' + i).value;
    if (!ini.trim() && !fim.trim()) {
      semana.push(null);
      continue;
    }
    const a = leHora(ini), b = leHora(fim);
    if (!ini.trim() || !fim.trim()) erros.push(DIAS[i] + ': preencha o início e o fim, ou deixe os dois vazios para um dia sem horário');
    else if (!a || !b) erros.push(DIAS[i] + ': horário inválido, use HH:MM:SS');
    else if (a === '00:00:00' && b === '00:00:00') erros.push(DIAS[i] + ': acionamento não definido (00:00:00 a 00:00:00) - deixe os dois campos vazios para um dia sem horário');
    else if (a === b) erros.push(DIAS[i] + ': início e fim iguais - horário inválido');
    else if (b < a) noites.push(DIAS[i] + ' (' + a + ' às ' + b + ')');
    semana.push(a && b ? { inicio: a, fim: b } : null);
  }
  return semana;
}

function enderecoDeEstacao(url) {
  if (!url || url.length > 1000 || /[\x00-\x20\x7f]/.test(url)) return false;
  const m = /^https?:\/\/([A-Za-z0-9._-]+)(?::(\d{1,5}))?(?:[/?#]|$)/i.exec(url);
  if (!m || (m[2] !== undefined && (Number(m[2]) < 1 || Number(m[2]) > 65535))) return false;
  try {
    new URL(url);
  } catch (e) {
    return false;
  }
  return true;
}

// The document without its version, or null with the reasons in the panel. Only the ticked
// settings go: an absent key leaves that setting of the shop as it is.
function documento() {
  const erros = [], noites = [];
  const doc = {};
  if ($('alterar-horarios').checked) doc.horarios = leSemana(erros, noites);
  if ($('alterar-estacao').checked) {
    if ($('estacao-padrao').checked) {
      doc.estacao = null;
    } else {
      const url = $('estacao-url').value.trim(), nome = $('estacao-nome').value.trim();
      if (!enderecoDeEstacao(url)) erros.push('Estação: endereço inválido (http:// ou https://, o servidor e a porta)');
      else if (!textoDeLinha(url, 1000)) erros.push('Estação: o endereço tem caracteres que a loja não grava');
      if (!textoDeLinha(nome, 200)) erros.push('Estação: nome inválido (até 200 caracteres, sem caracteres especiais)');
      doc.estacao = nome ? { url, nome } : { url };
    }
  }
  if ($('alterar-volume').checked) {
    const texto = $('volume').value.trim();
    const v = Number(texto);
    if (!texto || !Number.isInteger(v) || v < 0 || v > 100) erros.push('Volume: um número inteiro de 0 a 100');
    else doc.volume = v;
  }
  if ($('alterar-nivelar').checked) doc.nivelar = $('nivelar').checked;
  if ($('alterar-ativado').checked) doc.ativado = $('ativado').value === '1';
  if (!Object.keys(doc).length) erros.push('Marque ao menos uma configuração para alterar');
  const motivo = $('motivo').value.trim();
  if (!textoDeLinha(motivo, 500)) erros.push('Motivo: até 500 caracteres, sem caracteres especiais');
  if (!textoDeLinha(usuario, 500)) erros.push('O nome do usuário não pode ir para o histórico da loja');
  if (erros.length) {
    $('mensagem').textContent = erros.join('\n');
    $('mensagem').className = 'mensagem erro';
    return null;
  }
  if (noites.length && !confirm('O horário de desligar é antes do de ligar em ' + noites.join(', ') +
    ': a loja desliga no dia seguinte, após a meia-noite. Confirma?')) return null;
  doc.autor = usuario;
  if (motivo) doc.motivo = motivo;
  return doc;
}

// Each shop gets its own next version, published retained so that a shop offline now takes it
// when it is back.
function aplica(ids) {
  if (!cliente || !cliente.connected || !assinado) {
    $('mensagem').textContent = 'Sem conexão com o servidor: nada foi enviado';
    $('mensagem').className = 'mensagem erro';
    return;
  }
  const doc = documento();
  if (!doc) return;
  if (ids.length > 1 && !confirm('Enviar esta configuração às ' + ids.length + ' lojas filtradas?')) return;
  for (const id of ids) {
    const l = loja(id);
    const enviado = Object.assign({ versao: proximaVersao(l) }, doc);
    l.desejada = enviado;
    cliente.publish('sonaris/' + id + '/config/desejada', JSON.stringify(enviado), { qos: 1, retain: true });
  }
  $('mensagem').textContent = ids.length === 1
    ? 'Versão ' + loja(ids[0]).desejada.versao + ' enviada a ' + ids[0]
    : 'Configuração enviada a ' + ids.length + ' lojas';
  $('mensagem').className = 'mensagem';
  desenha();
}

// --- The broker ------------------------------------------------------------------------------

const TOPICOS = ['sonaris/+/estado', 'sonaris/+/resumo', 'sonaris/+/config/desejada', 'sonaris/+/config/aplicada'];
// QoS 0: the session is clean, so QoS 1 would save nothing across a reconnection (the retained
// messages come again), and the broker would hand the page only 20 unacknowledged messages at a
// time: with 5,000 shops answering at once, the page waited on its own acknowledgements, which
// its drawing delays, and showed the last "aplicada" 15 to 30 s after the shops had sent it.
const QOS_DA_PAGINA = 0;

function recebe(topico, dados) {
  const partes = topico.split('/');
  const id = partes[1];
  const tipo = partes.slice(2).join('/');
  const texto = new TextDecoder().decode(dados);
  if (tipo === 'historico') {
    if (id !== escolhida) return;  // a line still on its way after the shop was closed
    historico.push(texto);
    if (historico.length > LINHAS_DO_HISTORICO) historico.splice(0, historico.length - LINHAS_DO_HISTORICO);
    desenhaHistorico();
    return;
  }
  let valor = null;
  try {
    // An empty retained message is how a wish or a state is cleared.
    valor = texto ? JSON.parse(texto) : null;
  } catch (e) {
    return;  // a message that is not ours
  }
  if (valor !== null && typeof valor !== 'object') return;
  const l = loja(id);
  if (tipo === 'estado') l.estado = valor;
  else if (tipo === 'resumo') l.resumo = valor;
  else if (tipo === 'config/desejada') {
    // The echo of a wish this page sent is already here; an older one must not replace it.
    if (!valor || !l.desejada || versao(valor.versao) >= versao(l.desejada.versao)) l.desejada = valor;
  } else if (tipo === 'config/aplicada') l.aplicada = valor;
  else return;
  depois();
}

// The broker that serves the page, or the one named by ?broker=wss://host:port when the page is
// served by another web server (Mosquitto 2.0.11's TLS listener offers HTTP/2 to browsers and
// then answers nothing, so its own https page stays blank in Chromium).
function enderecoDoBroker() {
  const nomeado = new URLSearchParams(location.search).get('broker');
  if (nomeado && /^wss?:\/\/[^\s/]+\/?$/.test(nomeado)) return nomeado.endsWith('/') ? nomeado : nomeado + '/';
  return (location.protocol === 'https:' ? 'wss://' : 'ws://') + location.host + '/';
}

function entra(nome, senha) {
  const endereco = enderecoDoBroker();
  const seguro = endereco.startsWith('wss://');
  usuario = nome;
  assinado = false;
  cliente = mqtt.connect(endereco, {
    username: nome, password: senha, reconnectPeriod: 2000, protocolVersion: 5,
  });
  const conexao = $('conexao');
  conexao.textContent = 'Conectando ao servidor...';
  cliente.on('connect', () => {
    conexao.textContent = 'Conectado como ' + nome + (seguro ? '' : ' (sem TLS)');
    $('entrada').hidden = true;
    $('frota').hidden = false;
    $('sair').hidden = false;
    // Its own wishes come back from the broker only to be dropped: not sent at all (no local),
    // which halves what the page takes in while it pushes to thousands of shops.
    const assinaturas = Object.fromEntries(TOPICOS.map((t) => [t, { qos: QOS_DA_PAGINA, nl: t.endsWith('/desejada') }]));
    cliente.subscribe(assinaturas, (erro, dados) => {
      if (erro || !dados || dados.some((d) => d.qos > 2)) {
        conexao.textContent = 'O usuário ' + nome + ' não pode ler as lojas';
        return;
      }
      assinado = true;
      desenha();
    });
    if (escolhida) historicoAssina(escolhida, true);
  });
  cliente.on('error', (erro) => {
    if ([4, 5, 134, 135].includes(erro.code)) sai('Usuário ou senha inválidos');
  });
  cliente.on('close', () => {
    assinado = false;
    if (cliente) conexao.textContent = 'Sem conexão com o servidor';
  });
  cliente.on('message', recebe);
}

function sai(mensagem) {
  if (cliente) {
    const c = cliente;
    cliente = null;
    c.end(true);
  }
  usuario = '';
  assinado = false;
  fecha();
  lojas.clear();
  $('lojas').replaceChildren();
  $('frota').hidden = true;
  $('sair').hidden = true;
  $('entrada').hidden = false;
  $('entrada-erro').textContent = mensagem || '';
  $('conexao').textContent = 'Informe o usuário e a senha do escritório';
  $('senha').focus();
}

montaSemana();
$('entrada').addEventListener('submit', (evento) => {
  evento.preventDefault();
  const nome = $('usuario').value.trim(), senha = $('senha').value;
  // The field is emptied at once: the password lives on only in the client's options.
  $('senha').value = '';
  $('entrada-erro').textContent = '';
  if (nome && senha) entra(nome, senha);
});
$('sair').addEventListener('click', () => sai(''));
$('filtro').addEventListener('input', desenha);
$('lojas').addEventListener('click', (evento) => {
  const tr = evento.target.closest('tr');
  if (tr && tr.dataset.loja) abre(tr.dataset.loja);
});
$('fechar').addEventListener('click', fecha);
$('aplicar-loja').addEventListener('click', () => { if (escolhida) aplica([escolhida]); });
$('aplicar-filtradas').addEventListener('click', () => aplica(filtradas()));
