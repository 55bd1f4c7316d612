<p>before</p>
<% if (true) throw new IllegalStateException("boom & <bang>"); %>
