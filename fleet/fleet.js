// The fleet page: one row per shop from the retained states on sonaris/<loja>/estado, the last
// day's account from sonaris/<loja>/resumo, and the history lines of a clicked shop received
// since the page opened. It only reads: nothing is ever published from here.
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

const lojas = new Map();  // id -> { estado, resumo, historico: [] }
let escolhida = null;

function loja(id) {
  if (!lojas.has(id)) lojas.set(id, { estado: null, resumo: null, historico: [] });
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

function celula(tr, texto, classe) {
  const td = document.createElement('td');
  if (classe) {
    const s = document.createElement('span');
    s.className = 'estado ' + classe;
    s.textContent = texto;
    td.appendChild(s);
  } else {
    td.textContent = texto;
  }
  tr.appendChild(td);
}

function desenha() {
  const filtro = document.getElementById('filtro').value.trim().toLowerCase();
  const corpo = document.getElementById('lojas');
  const contagem = new Map(ORDEM.map((s) => [s, 0]));
  const linhas = [];
  for (const [id, l] of lojas) {
    if (!l.estado) continue;
    const s = situacao(l);
    contagem.set(s, contagem.get(s) + 1);
    if (filtro && !id.toLowerCase().includes(filtro)) continue;
    linhas.push([id, l, s]);
  }
  linhas.sort((a, b) => ORDEM.indexOf(a[2]) - ORDEM.indexOf(b[2]) || a[0].localeCompare(b[0]));
  corpo.replaceChildren();
  for (const [id, l, s] of linhas) {
    const tr = document.createElement('tr');
    tr.dataset.loja = id;
    tr.dataset.estado = s;
    celula(tr, id);
    celula(tr, TEXTO[s], s);
    celula(tr, l.estado.online ? hora(l.estado.desde) : '-');
    celula(tr, l.estado.online ? hora(l.estado.ultima_queda) : '-');
    celula(tr, l.resumo ? l.resumo.data + ' ' + l.resumo.linha : '-');
    tr.addEventListener('click', () => { escolhida = id; desenhaHistorico(); });
    corpo.appendChild(tr);
  }
  const contagens = document.getElementById('contagens');
  contagens.replaceChildren();
  for (const s of ORDEM) {
    const span = document.createElement('span');
    span.className = s;
    span.dataset.estado = s;
    span.textContent = TEXTO[s] + ': ' + contagem.get(s);
    contagens.appendChild(span);
  }
}

function desenhaHistorico() {
  if (!escolhida) return;
  document.getElementById('historico').hidden = false;
  document.getElementById('historico-titulo').textContent = 'Histórico de ' + escolhida;
  document.getElementById('historico-linhas').textContent = loja(escolhida).historico.join('\n');
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

const cliente = mqtt.connect('ws://' + location.host + '/', { reconnectPeriod: 2000 });
const conexao = document.getElementById('conexao');
cliente.on('connect', () => {
  conexao.textContent = 'Conectado';
  cliente.subscribe(['sonaris/+/estado', 'sonaris/+/resumo', 'sonaris/+/historico'], { qos: 1 });
});
cliente.on('close', () => { conexao.textContent = 'Sem conexão com o servidor'; });
cliente.on('message', (topico, dados) => {
  const [, id, tipo] = topico.split('/');
  const l = loja(id);
  const texto = new TextDecoder().decode(dados);
  try {
    if (tipo === 'estado') l.estado = JSON.parse(texto);
    else if (tipo === 'resumo') l.resumo = JSON.parse(texto);
    else if (tipo === 'historico') {
      l.historico.push(texto);
      if (l.historico.length > 500) l.historico.shift();
      if (id === escolhida) desenhaHistorico();
      return;
    }
  } catch (e) {
    return;  // a message that is not ours
  }
  depois();
});
document.getElementById('filtro').addEventListener('input', desenha);
